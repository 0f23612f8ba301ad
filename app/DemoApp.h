#pragma once
// The application object: runs the main window modally and ends with it.

#include <QApplication>

class CDemoApp : public QApplication {
    Q_OBJECT
public:
    CDemoApp(int& argc, char** argv);
    ~CDemoApp() override;

    // Shows the main window, with COM com selected (0: the first), until it
    // closes; the exit code.
    int Run(int com = 0);
};
