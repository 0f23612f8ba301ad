#include "app/DemoApp.h"

#include "app/Language.h"
#include "app/MainDlg.h"
#include "guikit/GuiThread.h"
#include "version/Version.h"

#include "ui_MainDlg.h"

#include <QComboBox>

#include <clocale>
#include <cstdio>

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

int CDemoApp::Run(int com) {
    SetLanguage(PreferredLanguage());
    CMainDlg dlg;
    // The port a starter script's virtual driver took, so the defaults work.
    if (QComboBox* ports = dlg.Ui().cmbComPort; com > 0) {
        if (com <= ports->count())
            ports->setCurrentIndex(com - 1);
        else
            std::fprintf(stderr, "halvik-demo: COM%d is not in the port list (COM1 to COM%d)\n",
                         com, ports->count());
    }
    dlg.exec();
    // The event loop is over: a worker that the pages stop on the way out
    // gets default answers instead of waiting for a GUI that no longer runs.
    ShutdownGuiCalls();
    return 0;
}
