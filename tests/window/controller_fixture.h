#pragma once
// A Controller on a fake toolkit, with its session folders in a fresh temporary
// folder that is removed afterwards.

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "controller.h"
#include "fake_toolkit.h"

namespace mivra::test {

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest()
    {
        g_autofree char* made = g_dir_make_tmp("mivra-window-test-XXXXXX", nullptr);
        root_ = made;
        places_ = Places{folder("tmp"), folder("home"), folder("home/Desktop"), folder("volumes")};
    }
    ~ControllerTest() override
    {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }

    std::shared_ptr<Controller> make(LaunchSettings settings = {})
    {
        return Controller::Create(toolkit_, std::move(settings), places_);
    }

    // A folder under the test's root, created.
    std::string folder(const std::string& relative)
    {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path);
        return path.string();
    }

    std::string file(const std::string& relative, const std::string& content = "x")
    {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }

    std::filesystem::path root_;
    Places places_;
    FakeToolkit toolkit_;
};

}  // namespace mivra::test
