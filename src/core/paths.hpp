#pragma once
// The fixed folders and files of the program. The installation folder must be the current
// folder, so its entries are relative paths; settings and flight plans live in a folder of
// the program's own under the user's roaming application-data folder.
//
// The data-folder paths depend on the environment, so they are made by initProgramPaths()
// at the start of the entry (and again by tests that point APPDATA elsewhere), never by
// static initialisers.

#include <filesystem>

namespace rtd {

struct ProgramPaths {
    using path = std::filesystem::path;

    // In the roaming application-data folder ("Ramptide" in the current folder when the
    // system reports none).
    path programDataFolder;
    path parametersFileName{"parameters.xml"};
    path parametersPath;

    // In the installation folder.
    path docsFolder{"docs"};
    path inputFolder{"input"};
    path dbaseFileName{"dbase.xml"};
    path regcodesAigFolderName{"regcodesAIG"};
    path aigRegcodesFileName{"AIG-regcodes.xml"};
    path aigRegcodesPath{inputFolder / regcodesAigFolderName / aigRegcodesFileName};
    path myRegcodesFolder{inputFolder / "my_regcodes"};
    path outputFolder{"output"};
    path outputInfoFolder{outputFolder / "info"};
    path outputErrorsFolder{outputFolder / "errors"};
    path liveriesScannedPath{outputFolder / "LiveriesScanned.xml"};
    path installerPath{"install_new_version.exe"};
    path callsignObjectIdPath{"Callsign2ObjectId.txt"};

    // Names of folders elsewhere.
    path fsBaseFolderName{"fs-base"};
    path fsBaseGenericAirportsName{"fs-base-genericairports"};
    path toBeLearnedOfflineFolder{"TO_BE_LEARNED_OFFLINE"};
    path officialFolderName{"Official"};
    path communityFolderName{"Community"};
    path insideSystemsFolderName{"InsideSystems"};
};

// Builds the paths from the current environment. Call before anything reads paths().
void initProgramPaths();

const ProgramPaths& paths();

} // namespace rtd
