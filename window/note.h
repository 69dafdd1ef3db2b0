#pragma once
// The window shell's log: "[fenetre] TEXT\n" on standard error, flushed per record.

#include <string_view>

namespace mivra {

void Note(std::string_view text);

}  // namespace mivra
