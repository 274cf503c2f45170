#pragma once

#include "AppSettings.h"
#include "FormBinding.h"
#include "FormModel.h"
#include "SerialPortList.h"
#include "assembly/LoaderAssembly.h"
#include "platform/QtRuntime.h"

#include <functional>
#include <memory>

class AboutBox;
class Dialogs;
class InitCommandsWindow;
class MainWindow;
class QtDialogs;
class TerminalWindow;

// The desktop application: one loader on Qt's event loop and its four windows, created in the
// order main window, terminal window, About window, accompanying-initialisation window. The
// windows mirror their form model and what the loader shows; they are brought in line with
// them before every pass of the loader's event pumping and whenever the event loop falls idle.
class Application {
public:
    // dialogs: the message boxes to use; the Qt dialogs when null (tests pass scripted ones).
    explicit Application(const QString& dataDir, Dialogs* dialogs = nullptr);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void show();
    void syncAll();

    // Run when the main window has closed (the real program quits its event loop).
    std::function<void()> onQuit;

    QtRuntime runtime;
    AppSettings settings;

private:
    // Declared here: the loader is built with it.
    std::unique_ptr<QtDialogs> qtDialogs_;

public:
    LoaderAssembly parts;
    Loader& loader = parts.loader;
    FormModel form;
    FormBinding binding{form, loader};
    SerialPortList ports{form, loader.output, [this] { return parts.connections.systemPorts(); }};
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<TerminalWindow> terminal;
    std::unique_ptr<AboutBox> about;
    std::unique_ptr<InitCommandsWindow> init;

private:
    void wireFirmware();
};
