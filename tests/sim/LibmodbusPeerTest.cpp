// An independent master, libmodbus, judges the virtual driver's replies.

#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>

namespace {

struct CtxClose {
    void operator()(modbus_t* c) const {
        modbus_close(c);
        modbus_free(c);
    }
};
using Ctx = std::unique_ptr<modbus_t, CtxClose>;

Ctx Connect(const std::string& dev, int slave) {
    modbus_t* c = modbus_new_rtu(dev.c_str(), 9600, 'N', 8, 1);
    if (!c)
        return nullptr;
    modbus_set_slave(c, slave);
    modbus_set_response_timeout(c, 1, 0);
    if (modbus_connect(c) != 0) {
        modbus_free(c);
        return nullptr;
    }
    return Ctx(c);
}

TEST(LibmodbusPeerTest, ReadsAndWritesAreAcceptedByAnotherMaster) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    Ctx c = Connect(h.Device(), 1);
    ASSERT_TRUE(c);

    uint16_t regs[125] = {};
    ASSERT_EQ(modbus_read_registers(c.get(), 0x0000, 16, regs), 16);
    EXPECT_EQ(regs[1], 0x0102);
    EXPECT_EQ(regs[11], 16000);
    ASSERT_EQ(modbus_read_registers(c.get(), 0x0020, 28, regs), 28);
    EXPECT_EQ(regs[0x37 - 0x20], 253);

    ASSERT_EQ(modbus_write_register(c.get(), 0x0050, 1234), 1);
    const uint16_t gains[2] = {0x4000, 0x0000};
    ASSERT_EQ(modbus_write_registers(c.get(), 0x00BA, 2, gains), 2);
    ASSERT_EQ(modbus_read_registers(c.get(), 0x0050, 1, regs), 1);
    EXPECT_EQ(regs[0], 1234);
    ASSERT_EQ(modbus_read_registers(c.get(), 0x00BA, 2, regs), 2);
    EXPECT_EQ(regs[0], 0x4000);

    // The SDO window answers within the write.
    const uint16_t upload[6] = {0x40, 0x1005, 0, 0, 0, 0};
    ASSERT_EQ(modbus_write_registers(c.get(), 0x0200, 6, upload), 6);
    ASSERT_EQ(modbus_read_registers(c.get(), 0x0200, 6, regs), 6);
    EXPECT_EQ(regs[0], 0x43);
    EXPECT_EQ(regs[5], 0x80);

    // The largest block in one read.
    ASSERT_EQ(modbus_read_registers(c.get(), 0x0060, 27, regs), 27);
}

TEST(LibmodbusPeerTest, ExceptionRepliesSurfaceAsModbusErrors) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    Ctx c = Connect(h.Device(), 1);
    ASSERT_TRUE(c);
    uint16_t regs[8] = {};

    errno = 0;
    EXPECT_EQ(modbus_read_registers(c.get(), 0x0048, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    errno = 0;
    EXPECT_EQ(modbus_write_register(c.get(), 0x0020, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    errno = 0;
    EXPECT_EQ(modbus_write_register(c.get(), 0x0040, 9), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    uint8_t id[64];
    errno = 0;
    EXPECT_EQ(modbus_report_slave_id(c.get(), sizeof id, id), -1);
    EXPECT_EQ(errno, EMBXILFUN);

    // The driver's own code 96 is a well-formed exception reply that this
    // libmodbus knows only as "not a standard exception code".
    h.Driver().SetRegister(0x0075, 0);
    errno = 0;
    EXPECT_EQ(modbus_write_register(c.get(), 0x0043, 100), -1);
    EXPECT_EQ(errno, EMBBADEXC);

    // An injected bad CRC and a reply from another address are rejected too.
    h.Server().InjectFault(EFault::BadCrc);
    errno = 0;
    EXPECT_EQ(modbus_read_registers(c.get(), 0x0001, 1, regs), -1);
    EXPECT_EQ(errno, EMBBADCRC);
    modbus_flush(c.get());
    h.Server().InjectFault(EFault::Exception, 6);
    errno = 0;
    EXPECT_EQ(modbus_read_registers(c.get(), 0x0001, 1, regs), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_EQ(modbus_read_registers(c.get(), 0x0001, 1, regs), 1);
    EXPECT_EQ(regs[0], 0x0102);
}

} // namespace
