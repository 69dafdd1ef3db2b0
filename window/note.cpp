#include "note.h"

#include <cstdio>
#include <string>

namespace mivra {

void Note(std::string_view text)
{
    // One write per record, so that records from one process never interleave.
    std::string record = "[fenetre] ";
    record.append(text);
    record.push_back('\n');
    std::fwrite(record.data(), 1, record.size(), stderr);
    std::fflush(stderr);
}

}  // namespace mivra
