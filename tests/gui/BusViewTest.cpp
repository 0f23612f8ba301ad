// The bus view on three virtual drivers, one of them silent: each row follows
// its own driver, a click addresses a driver, and "全部停止" stops every
// motor and names the one that did not answer.

#include "GuiTestSupport.h"
#include "tools/BusViewDlg.h"

#include <QLineEdit>
#include <QTableWidget>

namespace {

class BusViewTest : public CWindowTest {};

TEST_F(BusViewTest, RowsFollowTheirDriversAClickAddressesOneAndStopAllNamesTheSilentOne) {
    CSimHarness bus(std::vector<uint8_t>{1, 2, 5});
    ASSERT_TRUE(bus.Ok());
    m_dlg->m_driver.SetTimeout(300);
    ASSERT_TRUE(m_dlg->m_driver.OpenPortPath(bus.Device(), "9600,n,8,2"));
    bus.Server().InjectFault(EFault::Silent, 0, -1, 2);
    bus.DriverAt(5).SetRegister(0x0075, 1);                           // learned, so it may run
    ASSERT_EQ(m_dlg->m_driver.WriteRunCommand(5, 500, 1), kResultOk); // 50.0 Hz

    CBusViewDlg* view = m_dlg->BusViewDlg();
    view->SetSlaves({1, 2, 5});
    view->show();
    QTableWidget* table = view->Table();
    auto cell = [table](int row, int col) { return table->item(row, col)->text().toStdString(); };
    // The running one shows its speed, the silent one is marked, the idle
    // one keeps updating beside it.
    ASSERT_TRUE(WaitGui(
        [&] {
            return cell(2, 3) == "50.0Hz" && cell(1, 6).rfind("无应答", 0) == 0 &&
                   cell(0, 3) == "0.0Hz";
        },
        20000))
        << cell(0, 3) << " | " << cell(1, 6) << " | " << cell(2, 3);
    EXPECT_EQ(cell(2, 1), "HVK-BLD4810");

    emit table->cellClicked(2, 0);
    EXPECT_EQ(m_dlg->Context().m_nSlaveAddr, 5);
    EXPECT_EQ(Text(Ui().edtSlaveAddr), "0x05");

    view->StopAllDrivers();
    Settle();
    EXPECT_EQ(m_boxes.LastText(), "全部停止: 2台已停止, 1台失败:\n从站2: 通讯超时");
    EXPECT_TRUE(WaitGui([&] { return bus.DriverAt(5).GetRegister(0x0022) == 0; }, 10000));

    // A refused list names its item and leaves the drivers watched as they were.
    auto* list = view->findChild<QLineEdit*>();
    list->setText("1, 0x01");
    emit list->returnPressed();
    EXPECT_EQ(m_boxes.LastText(), "地址: 0x01 重复");
    EXPECT_EQ(view->Slaves(), (std::vector<uint8_t>{1, 2, 5}));
    view->hide();
}

} // namespace
