#pragma once

#include <QMainWindow>

// The application's main window while the full window is being built: the title and the
// version.
class StartupWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StartupWindow(QWidget* parent = nullptr);
};
