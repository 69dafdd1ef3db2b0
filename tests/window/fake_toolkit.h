#pragma once
// A Toolkit that records what the Controller asks of the desktop, and keeps
// deferred blocks and panel completions for the test to run.

#include <glib.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolkit.h"

namespace mivra::test {

struct Deferred {
    std::chrono::milliseconds delay;
    std::function<void()> block;
};

struct ShownPanel {
    OpenPanelDescription description;
    PanelCompletion done;
};

class FakeToolkit : public Toolkit {
public:
    // Every call in order, as "name" or "name argument".
    std::vector<std::string> calls;
    std::vector<std::string> scripts;
    std::vector<std::string> loads;
    std::vector<ShownPanel> panels;
    std::vector<Deferred> deferred;
    std::optional<WindowDescription> window;
    std::vector<MenuItem> menu;
    std::vector<std::function<void()>> alertsClosing;

    void buildWindow(const WindowDescription& description) override
    {
        window = description;
        calls.push_back("buildWindow");
    }
    void installMenu(const std::vector<MenuItem>& items) override
    {
        menu = items;
        calls.push_back("installMenu");
    }
    void activate() override { calls.push_back("activate"); }

    // Parses as strictly as the real toolkit does.
    bool loadUrl(const std::string& url) override
    {
        calls.push_back("loadUrl " + url);
        if (!g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr))
            return false;
        loads.push_back(url);
        return true;
    }
    void reload() override { calls.push_back("reload"); }
    void evaluateScript(const std::string& script) override
    {
        calls.push_back("evaluateScript " + script);
        scripts.push_back(script);
    }

    void showOpenPanel(const OpenPanelDescription& description, PanelCompletion done) override
    {
        calls.push_back("showOpenPanel");
        panels.push_back({description, std::move(done)});
    }
    void showAlert(const std::string& message, std::function<void()> closed) override
    {
        calls.push_back("showAlert " + message);
        alertsClosing.push_back(std::move(closed));
    }

    void openInBrowser(const std::string& url) override { calls.push_back("openInBrowser " + url); }
    void openPrivacySettings() override { calls.push_back("openPrivacySettings"); }

    void runLater(std::chrono::milliseconds delay, std::function<void()> block) override
    {
        calls.push_back("runLater " + std::to_string(delay.count()));
        deferred.push_back({delay, std::move(block)});
    }

    void startAccessing(const std::string& path) override { calls.push_back("startAccessing " + path); }
    void stopAccessing(const std::string& path) override { calls.push_back("stopAccessing " + path); }

    void minimise() override { calls.push_back("minimise"); }
    void toggleFullScreen() override { calls.push_back("toggleFullScreen"); }
    void quit() override { calls.push_back("quit"); }
    void editPage(MenuAction editing) override
    {
        calls.push_back("editPage " + std::to_string(static_cast<int>(editing)));
    }

    // Runs the oldest pending block; false when none is pending.
    bool runNextDeferred()
    {
        if (deferred.empty())
            return false;
        Deferred next = std::move(deferred.front());
        deferred.erase(deferred.begin());
        next.block();
        return true;
    }

    // Completes a shown panel (the latest by default) with a choice, or with a cancel.
    void completePanel(std::optional<std::string> chosen) { completePanel(panels.size() - 1, std::move(chosen)); }
    void completePanel(std::size_t index, std::optional<std::string> chosen)
    {
        ShownPanel panel = std::move(panels.at(index));
        panels.erase(panels.begin() + static_cast<std::ptrdiff_t>(index));
        panel.done(std::move(chosen));
    }

    std::size_t count(const std::string& call) const
    {
        std::size_t n = 0;
        for (const std::string& c : calls)
            n += c == call;
        return n;
    }
};

}  // namespace mivra::test
