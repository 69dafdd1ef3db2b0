// mivra-window: the window that shows the local interface.

#include <memory>

#include <gtk/gtk.h>

#include "controller.h"
#include "glib_ownership.h"
#include "gtk_toolkit.h"
#include "settings.h"

namespace mivra {
namespace {

constexpr const char* kApplicationId = "fr.mivra.Window";

// Everything the run needs, alive until the main loop returns. The
// controller goes before the toolkit it talks to.
class App {
public:
    explicit App(LaunchSettings settings)
        : settings_(std::move(settings)),
          application_(gtk_application_new(kApplicationId,
                                           GApplicationFlags(G_APPLICATION_NON_UNIQUE | G_APPLICATION_HANDLES_OPEN)))
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

    // The command line is read by ReadLaunchSettings, not by GApplication.
    int run() { return g_application_run(G_APPLICATION(application_.get()), 0, nullptr); }

private:
    static void OnActivate(GApplication*, gpointer data) { static_cast<App*>(data)->build(); }

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
        gtk_window_set_default_icon_name(kApplicationId);
        toolkit_ = std::make_unique<GtkToolkit>(application_.get());
        controller_ = Controller::Create(*toolkit_, settings_, Places::FromSystem());
        toolkit_->setController(controller_);
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
    mivra::App app(mivra::ReadLaunchSettings(argc, argv));
    app.run();
    return 0;
}
