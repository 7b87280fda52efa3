#pragma once
// The scrambling of the codes in dbase.xml: registrations, airline codes and model codes are
// stored scrambled, and the program turns them back into plain codes while reading.
//
// The transform works on a 37-character alphabet (digits, upper-case letters and '-'). A
// character of the alphabet at index a, scrambled with key k, becomes the character at index
// (a + k) mod 37 of a fixed permuted table of the same 37 characters; unscrambling inverts
// it. Characters outside the alphabet pass through unchanged both ways. The keys:
//
//   registration, any length:  position i uses key 3 + 7i
//   model code of 3 chars:     reversed, then position i uses key 11 + 5i
//   model code of 4 chars:     halves swapped, then position i uses key 17 + 3i
//   model code, other lengths: every position uses key 13
//   airline code (3 -> 6):     plain character i goes to position 2i with key 19 + 4i;
//                              position 2i + 1 holds a filler character that unscrambling
//                              ignores
//
// The encoders of model and airline codes serve the fixture generator, which writes
// dbase.xml files in the form the readers expect.

#include <string>
#include <string_view>

namespace rtd {

// Plain model code of a scrambled one; empty in, empty out; never fails.
std::string decryptModelType(std::string_view code);

// Plain three-character airline code of a scrambled six-character one. Empty in, empty out.
// A three-character code is taken as plain: returned unchanged and logged. Any other length
// throws std::runtime_error "decrypt airl \"{code}\" error".
std::string decryptAirline(std::string_view code);

// Plain registration of a scrambled one; empty in, empty out; never fails.
std::string decryptRegcode(std::string_view code);

// Scrambled form of a plain registration; empty in, empty out. A code of length 1 or of 25
// and more characters is logged. A lower-case letter is logged and throws
// std::runtime_error "regcode encrypt error". Also scrambles the daily date stamp.
std::string encryptRegcode(const std::string& code);

// The inverses of decryptModelType and decryptAirline (the airline code must have 3 or 0
// characters; other lengths throw std::invalid_argument).
std::string encryptModelType(std::string_view code);
std::string encryptAirline(std::string_view code);

} // namespace rtd
