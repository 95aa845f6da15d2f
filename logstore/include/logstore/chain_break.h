#pragma once
// Where the record chain of a log file breaks, said in words for the user: the reason a log
// that does not open gives, and the place a repair would start from.

#include <string>

namespace korv {

// "the record chain breaks at offset N (wrong record magic)", or why the file cannot be
// walked at all (it cannot be read, it has no log header); empty when the chain walks to the
// data end.
std::string describe_chain_break(const std::string& path);

}  // namespace korv
