#include "liveries/stand_ins.hpp"

namespace rtd {

bool scanLiveries(bool, bool, bool, const std::vector<std::string>&)
{
    return true;
}

} // namespace rtd
