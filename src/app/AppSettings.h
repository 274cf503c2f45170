#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>

class Loader;
struct FormModel;

// The window's position as the form storage keeps it: the origin of its client area.
struct WindowPlacement {
    bool stored = false;
    QPoint position;
    bool minimized = false;
};

// The settings kept between runs, all in the data folder:
// - "Velkor.ini", section "Settings": the six connection and file keys, read when the main
//   window is shown and written when it closes;
// - the program's own "velkor.ini": "Options"/"DebugMode", the stored control properties of
//   the main window ("StoreParams", with its position) and the lines of the
//   accompanying-initialisation window ("TForm4").
// Files are INI text in UTF-8; a missing file or key gives the default.
class AppSettings {
public:
    explicit AppSettings(QString dataDir);

    QString settingsFile() const;
    QString executableIni() const;

    // "Options"/"DebugMode", written back at once so that the key is present after a run.
    bool readDebugMode() const;

    // The form storage of the main window.
    WindowPlacement restoreForm(FormModel& form, Loader& loader) const;
    void storeForm(const FormModel& form, const Loader& loader,
                   const WindowPlacement& placement) const;

    // The show step: creates "Velkor.ini" with its defaults when it is missing, then reads it
    // into the controls. fillPortList fills cmbComPort by the state of tbAutoComList.
    void readSettings(FormModel& form, Loader& loader,
                      const std::function<void()>& fillPortList) const;
    // The close step; a file that cannot be written is left as it was.
    void writeSettings(const FormModel& form, const Loader& loader) const;

    QStringList readInitCommands(const QStringList& fallback) const;
    void writeInitCommands(const QStringList& lines) const;

    // The cmbBaudRate entry of a rate; any rate not in the list selects 256000.
    static int baudRateEntry(int rate);

private:
    void createSettingsFile(const FormModel& form) const;

    QString dataDir_;
};
