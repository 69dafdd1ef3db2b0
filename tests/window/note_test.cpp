#include <gtest/gtest.h>

#include "note.h"
#include "stderr_capture.h"

namespace mivra {
namespace {

TEST(Note, WritesOnePrefixedFlushedRecordPerCall)
{
    test::StderrCapture captured;
    Note("fenetre ouverte sur http://127.0.0.1:8790/");
    EXPECT_EQ(captured.text(), "[fenetre] fenetre ouverte sur http://127.0.0.1:8790/\n");

    Note("copie temporaire du projet impossible : a\nb");
    EXPECT_EQ(captured.text(),
              "[fenetre] fenetre ouverte sur http://127.0.0.1:8790/\n"
              "[fenetre] copie temporaire du projet impossible : a\nb\n");
}

}  // namespace
}  // namespace mivra
