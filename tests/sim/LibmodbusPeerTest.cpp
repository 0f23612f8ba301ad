// An independent master, libmodbus, judges the virtual driver's replies.

#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>

namespace {

// errno after a failed call, 0 after a successful one.
int Err(int rc) {
    return rc == -1 ? errno : 0;
}

TEST(LibmodbusPeerTest, AnotherMasterAcceptsRepliesAndDecodesRefusals) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    std::unique_ptr<modbus_t, void (*)(modbus_t*)> ctx(
        modbus_new_rtu(h.Device().c_str(), 9600, 'N', 8, 1), [](modbus_t* c) {
            modbus_close(c);
            modbus_free(c);
        });
    modbus_t* c = ctx.get();
    ASSERT_TRUE(c);
    modbus_set_slave(c, 1);
    modbus_set_response_timeout(c, 1, 0);
    ASSERT_EQ(modbus_connect(c), 0);

    uint16_t regs[125] = {};
    ASSERT_EQ(modbus_read_registers(c, 0x0000, 16, regs), 16);
    EXPECT_EQ(regs[1], 0x0102);
    ASSERT_EQ(modbus_read_registers(c, 0x0020, 28, regs), 28);
    ASSERT_EQ(modbus_read_registers(c, 0x0060, 27, regs), 27); // the largest block
    ASSERT_EQ(modbus_write_register(c, 0x0050, 1234), 1);
    const uint16_t gains[2] = {0x4000, 0x0000};
    ASSERT_EQ(modbus_write_registers(c, 0x00BA, 2, gains), 2);

    EXPECT_EQ(Err(modbus_read_registers(c, 0x0048, 1, regs)), EMBXILADD);
    EXPECT_EQ(Err(modbus_write_register(c, 0x0020, 1)), EMBXILADD);
    EXPECT_EQ(Err(modbus_write_register(c, 0x0040, 9)), EMBXILVAL);
    uint8_t id[64];
    EXPECT_EQ(Err(modbus_report_slave_id(c, sizeof id, id)), EMBXILFUN);
    // The driver's own code 96 is a well-formed exception reply that this
    // libmodbus knows only as "not a standard exception code".
    h.Driver().SetRegister(0x0075, 0);
    EXPECT_EQ(Err(modbus_write_register(c, 0x0043, 100)), EMBBADEXC);
}

} // namespace
