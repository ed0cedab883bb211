#include "shell/Application.h"

#include "link/Connection.h"
#include "link/Link.h"
#include "shell/AboutBox.h"
#include "shell/ComSetupDialog.h"
#include "shell/MainWindow.h"
#include "widgets/PanelStatusBar.h"

namespace talvo {

Application::Application(const ApplicationOptions &options) : options_(options) {}

Application::~Application() {
    // Dialogs belong to the main window; it goes before the link it shows.
    main_.reset();
    controller_.reset();
    link_.reset();
}

void Application::Create() {
    link_ = std::make_unique<Link>(state_.link);
    controller_ = std::make_unique<LinkController>(*link_);
    if (!options_.deviceOverride.isEmpty()) link_->SetDeviceOverride(options_.deviceOverride);

    // The main window first, then every other window, once for the whole run.
    main_ = std::make_unique<MainWindow>(state_, texts_, *controller_);
    comSetup_ = new ComSetupDialog(state_, *link_, texts_, main_.get());
    about_ = new AboutBox(texts_, main_.get());
    main_->setComSetup(comSetup_);
    main_->setAboutBox(about_);

    if (!options_.deviceNote.isEmpty()) main_->statusPanels()->setPanelText(1, options_.deviceNote);
}

void Application::ShowMainWindow() {
    main_->placeOnScreen();
    main_->showMaximized();
}

}  // namespace talvo
