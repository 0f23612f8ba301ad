// The main window's connection panel (its line settings, the scan that sets
// them) and the tool windows it opens.

#include "app/MainDlg.h"

#include "desklogic/MainDlgLogic.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "tools/BusViewDlg.h"
#include "tools/ScanDlg.h"

#include "ui_MainDlg.h"

#include <QSignalBlocker>

SPanelLines CMainDlg::PanelLines() const {
    const QComboBox* baud = m_ui->cmbBaud;
    const QComboBox* parity = m_ui->cmbParity;
    SPanelLines panel;
    for (int i = 0; i < baud->count(); ++i)
        panel.bauds.push_back(baud->itemText(i).toStdString());
    for (int i = 0; i < parity->count(); ++i)
        panel.parities.push_back(parity->itemText(i).toStdString());
    panel.baudIndex = baud->currentIndex();
    panel.parityIndex = parity->currentIndex();
    return panel;
}

void CMainDlg::OnScan() {
    CScanDlg dlg(m_ctx, m_linkStats, PanelLines(), m_ui->cmbComPort->currentIndex() + 1, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    if (dlg.Chosen())
        SetConnection(dlg.Chosen()->slave, dlg.Chosen()->line);
    if (!dlg.WantsBusView() || dlg.Hits().empty())
        return;
    // The drivers found at the first one's line; the panel takes that line.
    const SLineSetting line = dlg.Hits().front().line;
    std::vector<uint8_t> slaves;
    std::map<uint8_t, std::string> models;
    for (const SScanHit& hit : dlg.Hits())
        if (hit.line == line) {
            slaves.push_back(hit.slave);
            models[hit.slave] = hit.model;
        }
    SetConnection(slaves.front(), line);
    m_pBusDlg->SetSlaves(slaves, models);
    ShowToolDialog(m_pBusDlg);
}

void CMainDlg::MakeBusView() {
    m_pBusDlg = new CBusViewDlg(m_ctx, this);
    // A row clicked: that driver is the one the pages talk to.
    connect(m_pBusDlg, &CBusViewDlg::SlaveChosen, this, [this](uint8_t slave) {
        SetCtrlValue(m_ui->edtSlaveAddr, AddressText(slave));
        UpdateBitsFromAddress();
    });
    QAction* bus = m_ui->menuTools->addAction(QString());
    connect(bus, &QAction::triggered, this, [this] { ShowToolDialog(m_pBusDlg); });
    auto retranslate = [bus] { bus->setText(tr("总线视图")); };
    retranslate();
    OnLanguageChange(this, retranslate);
}

void CMainDlg::SetConnection(uint8_t slave, const SLineSetting& line) {
    SelectLine(line);
    SetCtrlValue(m_ui->edtSlaveAddr, AddressText(slave));
    UpdateBitsFromAddress();
    ApplyLine(line);
}

void CMainDlg::SelectLine(const SLineSetting& line) {
    QComboBox* baud = m_ui->cmbBaud;
    QComboBox* parity = m_ui->cmbParity;
    // The caller applies both at once: no port change for half of them.
    const QSignalBlocker quietBaud(baud), quietParity(parity);
    for (int i = 0; i < baud->count(); ++i)
        if (BaudFromText(baud->itemText(i).toStdString()) == line.baud)
            baud->setCurrentIndex(i);
    parity->setCurrentIndex(line.parityChoice);
}

void CMainDlg::ApplyLine(const SLineSetting& line) {
    if (!m_driver.IsOpen())
        return; // opening takes what the combos show
    const std::string settings = CMotorDriver::SettingsString(line.baud, line.parityChoice);
    if (m_driver.LineSettingsText() == settings)
        return;
    // A status read still out ends at the old settings first; the master's
    // lock keeps any other transaction whole around the change, made on the
    // context's worker so the window never waits for that lock.
    // In order: a baud rate and a parity chosen one after the other must
    // reach the port in that order.
    auto hold = std::make_shared<CDriverContext::CPollHold>(m_ctx.HoldPoll());
    m_ctx.Run(
        this, [&drv = m_driver, settings, hold] { return drv.SetLineSettings(settings); },
        [this](bool ok) {
            if (ok)
                return;
            ShowMessage(this, tr("串口设置失败").toStdString());
            const std::string present = m_driver.LineSettingsText();
            for (const SLineSetting& offered : PanelLineSettings(PanelLines()))
                if (CMotorDriver::SettingsString(offered.baud, offered.parityChoice) == present)
                    SelectLine(offered);
        });
}

void CMainDlg::ShowToolDialog(QDialog* dlg) {
    auto centre = [this, dlg] {
        const QRect m = frameGeometry();
        const QSize d = dlg->frameGeometry().size();
        dlg->move(m.left() + (m.width() - d.width()) / 2, m.top() + (m.height() - d.height()) / 2);
    };
    centre();
    dlg->show();
    centre(); // the frame of a window shown for the first time is known only now
    dlg->raise();
    dlg->activateWindow();
}
