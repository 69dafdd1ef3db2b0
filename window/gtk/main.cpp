// mivra-window: the window that shows the local interface.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtk/gtk.h>

#include "application_id.h"
#include "controller.h"
#include "glib_ownership.h"
#include "gtk_toolkit.h"
#include "settings.h"
#include "system_places.h"

namespace mivra {
namespace {

constexpr const char* kIconName = "fr.mivra.Window";

// A project given to another launch is named to the running window by its
// absolute path: that window runs in its own working folder.
Owned<GFile> ProjectFile(const std::string& project)
{
    return Owned<GFile>(g_file_new_for_path(project.c_str()));
}

// The arguments after the program's name; one that is not valid UTF-8 names
// nothing the page could be given, and comes as empty.
std::vector<std::string> ArgumentsAsText(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(g_utf8_validate(argv[i], -1, nullptr) ? argv[i] : "");
    return arguments;
}

// Everything the run needs, alive until the main loop returns. The
// controller goes before the toolkit it talks to.
class App {
public:
    explicit App(LaunchSettings settings)
        : settings_(std::move(settings)),
          application_(gtk_application_new(ApplicationId(settings_.url).c_str(), G_APPLICATION_HANDLES_OPEN))
    {
        g_signal_connect(application_.get(), "activate", G_CALLBACK(OnActivate), this);
        g_signal_connect(application_.get(), "open", G_CALLBACK(OnOpen), this);
    }

    ~App()
    {
        g_signal_handlers_disconnect_by_data(application_.get(), this);
        controller_.reset();
        toolkit_.reset();
    }

    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The command line is read by ReadLaunchSettings, not by GApplication,
    // whose own parsing would take a project starting with "-" for an option
    // and the icon for a second file to open: GApplication is given the
    // program's name alone, or, in a launch that hands its project to the
    // window already running, that project as the one file to open.
    // Registering first tells which: without a session bus, never.
    void run(const char* program)
    {
        GApplication* application = G_APPLICATION(application_.get());
        if (!g_application_register(application, nullptr, nullptr))
            g_application_set_flags(application,
                                    GApplicationFlags(G_APPLICATION_NON_UNIQUE | G_APPLICATION_HANDLES_OPEN));
        std::vector<std::string> arguments{program};
        if (g_application_get_is_remote(application) && !settings_.projetAuLancement.empty()) {
            g_autofree char* uri = g_file_get_uri(ProjectFile(settings_.projetAuLancement).get());
            arguments.insert(arguments.end(), {"--", uri});
        }
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        g_application_run(application, static_cast<int>(arguments.size()), argv.data());
    }

private:
    static void OnActivate(GApplication*, gpointer data)
    {
        auto* app = static_cast<App*>(data);
        if (app->controller_)
            app->controller_->presentAgain();
        else
            app->build();
    }

    // Files handed over by the desktop.
    static void OnOpen(GApplication*, GFile** files, int count, const char*, gpointer data)
    {
        auto* app = static_cast<App*>(data);
        app->build();
        for (int i = 0; i < count; ++i) {
            g_autofree char* path = g_file_get_path(files[i]);
            if (path)
                app->controller_->openFile(path);
        }
    }

    void build()
    {
        if (controller_)
            return;
        // The installed theme icon; an icon given on the command line replaces it.
        gtk_window_set_default_icon_name(kIconName);
        toolkit_ = std::make_unique<GtkToolkit>(application_.get());
        const Places places = SystemPlaces();
        controller_ = Controller::Create(*toolkit_, settings_, places);
        toolkit_->setEvents(controller_->toolkitEvents());
        controller_->build();
    }

    const LaunchSettings settings_;
    Owned<GtkApplication> application_;
    std::unique_ptr<GtkToolkit> toolkit_;
    std::shared_ptr<Controller> controller_;
};

}  // namespace
}  // namespace mivra

int main(int argc, char** argv)
{
    mivra::LaunchSettings settings = mivra::ReadLaunchSettings(mivra::ArgumentsAsText(argc, argv));
    settings.renderingSetByUser = mivra::RenderingSetByUser();
    mivra::App app(std::move(settings));
    app.run(argc > 0 ? argv[0] : "mivra-window");
    return 0;
}
