#pragma once
// A Controller on a toolkit that records every call ("name" or "name argument")
// and keeps deferred blocks and panel completions; its folders are temporary.

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller.h"

namespace mivra::test {

struct FakeToolkit : Toolkit {
    std::vector<std::string> calls, scripts, loads;
    std::vector<std::pair<OpenPanelDescription, PanelCompletion>> panels;
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> deferred;
    std::vector<std::pair<std::function<void()>, std::function<void()>>> background;  // (work, done)
    std::optional<WindowDescription> window;
    std::vector<MenuItem> menu;
    std::vector<std::function<void()>> alertsClosing;
    std::vector<std::pair<SavePanelDescription, PanelCompletion>> savePanels;
    std::vector<std::function<void(bool)>> questions;

    void buildWindow(const WindowDescription& d) override { window = d, calls.push_back("buildWindow"); }
    void installMenu(const std::vector<MenuItem>& items) override { menu = items, calls.push_back("installMenu"); }
    void activate() override { calls.push_back("activate"); }
    bool loadUrl(const std::string& url) override  // as strict as the real toolkit
    {
        calls.push_back("loadUrl " + url);
        const bool valid = g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr);
        if (valid)
            loads.push_back(url);
        return valid;
    }
    void reload() override { calls.push_back("reload"); }
    void evaluateScript(const std::string& s) override { calls.push_back("evaluateScript " + s), scripts.push_back(s); }
    void showOpenPanel(const OpenPanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showOpenPanel");
        panels.emplace_back(d, std::move(done));
    }
    void showAlert(const std::string& message, std::function<void()> closed) override
    {
        calls.push_back("showAlert " + message);
        alertsClosing.push_back(std::move(closed));
    }
    void showSavePanel(const SavePanelDescription& d, PanelCompletion done) override
    {
        calls.push_back("showSavePanel " + d.title + "|" + d.startFolder + "|" + d.name + "|" + d.prompt);
        savePanels.emplace_back(d, std::move(done));
    }
    void askToConfirm(const std::string& message, const std::string& confirm,
                      std::function<void(bool)> answered) override
    {
        calls.push_back("askToConfirm " + message + "|" + confirm);
        questions.push_back(std::move(answered));
    }
    void openInBrowser(const std::string& url) override { calls.push_back("openInBrowser " + url); }
    void openPrivacySettings() override { calls.push_back("openPrivacySettings"); }
    void runLater(std::chrono::milliseconds delay, std::function<void()> block) override
    {
        calls.push_back("runLater " + std::to_string(delay.count()));
        deferred.emplace_back(delay, std::move(block));
    }
    void runInBackground(std::function<void()> work, std::function<void()> done) override
    {
        calls.push_back("runInBackground");
        background.emplace_back(std::move(work), std::move(done));
    }
    void showWorking(bool working) override { calls.push_back(working ? "showWorking 1" : "showWorking 0"); }
    void startAccessing(const std::string& path) override { calls.push_back("startAccessing " + path); }
    void stopAccessing(const std::string& path) override { calls.push_back("stopAccessing " + path); }
    void minimise() override { calls.push_back("minimise"); }
    void toggleFullScreen() override { calls.push_back("toggleFullScreen"); }
    void quit() override { calls.push_back("quit"); }
    void editPage(MenuAction a) override { calls.push_back("editPage " + std::to_string(static_cast<int>(a))); }

    // Runs the oldest pending block; false when none is pending.
    bool runNextDeferred()
    {
        if (deferred.empty())
            return false;
        auto block = std::move(deferred.front().second);
        deferred.erase(deferred.begin());
        block();
        return true;
    }
    // Runs the oldest background job's work, then its completion; false when none is pending.
    bool finishNextBackground()
    {
        if (background.empty())
            return false;
        auto [work, done] = std::move(background.front());
        background.erase(background.begin());
        work();
        done();
        return true;
    }
    // Completes a shown panel (the latest by default) with a choice or a cancel.
    void completePanel(std::optional<std::string> chosen) { completePanel(panels.size() - 1, std::move(chosen)); }
    void completePanel(std::size_t index, std::optional<std::string> chosen)
    {
        auto done = std::move(panels.at(index).second);
        panels.erase(panels.begin() + static_cast<std::ptrdiff_t>(index));
        done(std::move(chosen));
    }
    const OpenPanelDescription& lastPanel() const { return panels.back().first; }
    std::size_t count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
};

// Files, Directories, Packages as items, Multiple selection, Creating folders.
inline std::string Switches(const OpenPanelDescription& d)
{
    std::string word = "-----";
    const bool on[] = {d.canChooseFiles, d.canChooseDirectories, d.packagesAreItems, d.allowsMultipleSelection,
                       d.canCreateDirectories};
    for (int i = 0; i < 5; ++i)
        if (on[i])
            word[i] = "FDPMC"[i];
    return word;
}

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest()
    {
        g_autofree char* made = g_dir_make_tmp("mivra-window-test-XXXXXX", nullptr);
        root_ = made;
        places_ =
            Places{folder("tmp"), folder("home"), folder("home/Desktop"), folder("volumes"), folder("home/Downloads")};
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
    std::string folder(const std::string& relative)  // created under the root
    {
        std::filesystem::create_directories(root_ / relative);
        return (root_ / relative).string();
    }
    std::string file(const std::string& relative, const std::string& content = "x")
    {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << content;
        return (root_ / relative).string();
    }

    std::filesystem::path root_;
    Places places_;
    FakeToolkit toolkit_;
};

}  // namespace mivra::test
