#include "app/DemoApp.h"

#include "app/GuiThread.h"
#include "app/MainDlg.h"
#include "version/Version.h"

#include <clocale>

CDemoApp::CDemoApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt adopts the user's locale; numbers are formatted and read with
    // printf/scanf conventions, which must keep the decimal point.
    std::setlocale(LC_NUMERIC, "C");
    setApplicationName("Halvik_Demo");
    setApplicationVersion(HalvikVersion());
}

CDemoApp::~CDemoApp() {
    ShutdownGuiCalls();
}

int CDemoApp::Run() {
    CMainDlg dlg;
    dlg.exec();
    // The event loop is over: a worker that the pages stop on the way out
    // gets default answers instead of waiting for a GUI that no longer runs.
    ShutdownGuiCalls();
    return 0;
}
