// Round trips of a status read through our master, libmodbus and Qt Serial
// Bus against the virtual driver, which runs paced in a child process so its
// threads never compete with the client's for this process's time.

#include "bench/Bench.h"

#include "modbus/ModbusRtu.h"
#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"

#include <modbus.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QSerialPort>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

// --- The virtual driver in a child process ----------------------------------

bool SSimChild::Command(const std::string& cmd) {
    std::string line = cmd + "\n";
    if (write(toChild, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return false;
    char c = 0;
    std::string answer;
    while (read(fromChild, &c, 1) == 1 && c != '\n')
        answer += c;
    return answer == "ok";
}

namespace {

[[noreturn]] void SimChildMain(int in, int out) {
    CVirtualDriver driver(kSlave);
    CSimServer server(driver);
    server.SetPacing(true);
    server.SetTurnaround(std::chrono::microseconds(kTurnaroundUs));
    if (!server.Start(-1))
        _exit(1);
    std::string hello = server.DevicePath() + "\n";
    [[maybe_unused]] ssize_t w = write(out, hello.data(), hello.size());
    FILE* cmds = fdopen(in, "r");
    char buf[64];
    while (cmds && std::fgets(buf, sizeof buf, cmds)) {
        long v = 0;
        if (buf[0] == 'Q')
            break;
        if (buf[0] == 'B' && std::sscanf(buf + 1, "%ld", &v) == 1)
            driver.SetRegisters(
                0x0090, {static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v & 0xFFFF), 0});
        else if (buf[0] == 'S' && std::sscanf(buf + 1, "%ld", &v) == 1)
            v ? server.InjectFault(EFault::Silent, 0, -1) : server.ClearFaults();
        w = write(out, "ok\n", 3);
    }
    server.Stop();
    _exit(0);
}

} // namespace

bool StartSimChild(SSimChild& sim) {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0)
        return false;
    sim.pid = fork();
    if (sim.pid < 0)
        return false;
    if (sim.pid == 0) {
        close(down[1]);
        close(up[0]);
        SimChildMain(down[0], up[1]);
    }
    close(down[0]);
    close(up[1]);
    sim.toChild = down[1];
    sim.fromChild = up[0];
    char c = 0;
    while (read(sim.fromChild, &c, 1) == 1 && c != '\n')
        sim.device += c;
    return !sim.device.empty();
}

void StopSimChild(SSimChild& sim) {
    if (sim.pid <= 0)
        return;
    sim.Command("Q");
    close(sim.toChild);
    close(sim.fromChild);
    waitpid(sim.pid, nullptr, 0);
    sim.pid = -1;
}

// --- The three clients -------------------------------------------------------

// One block of reads; the port is opened for the block only, since two
// masters on one line would steal each other's replies.
bool OursBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures) {
    CModbusRtu master;
    if (!master.OpenPortPath(dev, Settings(baud))) {
        std::fprintf(stderr, "cannot open %s: %s\n", dev.c_str(),
                     PortErrorText(master.LastOpenError()).c_str());
        return false;
    }
    master.SetTimeout(1000);
    uint8_t buf[2 * kStatusCount];
    for (int i = -1; i < n; ++i) { // round -1 warms up and is not counted
        uint16_t cap = sizeof buf;
        auto t0 = Clock::now();
        ResultCode rc = master.ReadRegisters(kSlave, kStatusStart, kStatusCount, buf, &cap);
        auto t1 = Clock::now();
        if (rc != kResultOk || cap != sizeof buf)
            ++failures;
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
    }
    master.ClosePort();
    return true;
}

bool LibmodbusBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt,
                    int& failures) {
    modbus_t* ctx = modbus_new_rtu(dev.c_str(), baud, 'N', 8, 2);
    if (!ctx) {
        std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
        return false;
    }
    modbus_set_slave(ctx, kSlave);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s: %s\n", dev.c_str(), modbus_strerror(errno));
        modbus_free(ctx);
        return false;
    }
    uint16_t regs[kStatusCount];
    for (int i = -1; i < n; ++i) {
        auto t0 = Clock::now();
        int got = modbus_read_registers(ctx, kStatusStart, kStatusCount, regs);
        auto t1 = Clock::now();
        if (got != kStatusCount)
            ++failures;
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

bool QtBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures,
             SQtSettings& used) {
    QModbusRtuSerialClient client;
    client.setConnectionParameter(QModbusDevice::SerialPortNameParameter,
                                  QString::fromStdString(dev));
    client.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, baud);
    client.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    client.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    client.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::TwoStop);
    client.setTimeout(1000);
    client.setNumberOfRetries(0);
    if (!client.connectDevice() || client.state() != QModbusDevice::ConnectedState) {
        std::fprintf(stderr, "Qt cannot open %s: %s\n", dev.c_str(),
                     client.errorString().toStdString().c_str());
        return false;
    }
    used = {client.interFrameDelay(), client.turnaroundDelay(), client.timeout(),
            client.numberOfRetries()};
    for (int i = -1; i < n; ++i) {
        QEventLoop loop;
        Clock::time_point t1{};
        auto t0 = Clock::now();
        QModbusReply* reply = client.sendReadRequest(
            QModbusDataUnit(QModbusDataUnit::HoldingRegisters, kStatusStart, kStatusCount), kSlave);
        if (!reply) {
            ++failures;
            continue;
        }
        if (!reply->isFinished()) {
            QObject::connect(reply, &QModbusReply::finished, &loop, [&] {
                t1 = Clock::now();
                loop.quit();
            });
            loop.exec();
        } else {
            t1 = Clock::now();
        }
        if (reply->error() != QModbusDevice::NoError ||
            reply->result().valueCount() != kStatusCount)
            ++failures;
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
        reply->deleteLater();
    }
    client.disconnectDevice();
    QCoreApplication::processEvents(); // let the port close before the next client opens it
    return true;
}

} // namespace bench
