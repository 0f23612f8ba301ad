#pragma once
// Modbus RTU master: one transaction at a time under m_txLock, replies
// gathered by a receive thread that owns the line between transactions.
//
// Threads: OpenPort/ClosePort on the owner's thread (the GUI thread or a
// command's main thread); transactions on any thread; GetTxFrame/GetRxFrame on
// any thread (they return copies).

#include "modbus/LinkObserver.h"
#include "modbus/ResultCode.h"
#include "modbus/RtuFrame.h"
#include "serial/ComPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CModbusRtu {
public:
    CModbusRtu();
    virtual ~CModbusRtu();
    CModbusRtu(const CModbusRtu&) = delete;
    CModbusRtu& operator=(const CModbusRtu&) = delete;

    // COM number 1..1024, resolved through the port map; settings in the
    // "9600,n,8,1" form. False when already open or when anything fails.
    bool OpenPort(int portNumber, const std::string& settings);
    // The same for a device path.
    bool OpenPortPath(const std::string& devicePath, const std::string& settings);
    void ClosePort();
    // True from OpenPort to ClosePort, also after the line was lost.
    bool IsOpen() const;
    // True once the device went away under the open port (adapter pulled,
    // virtual driver ended). Every transaction then returns kResultPortClosed
    // at once; the owner closes the port (which clears this) and may reopen.
    bool LineLost() const { return m_bLineLost.load(); }
    // Why the last OpenPort failed.
    EPortError LastOpenError() const { return m_openError; }
    std::string OpenDevice() const;

    void SetTimeout(uint32_t ms);
    uint32_t GetTimeout() const { return m_nTimeout.load(); }
    // A transaction whose reply has not begun within the request's wire time
    // plus this budget plus one character is given up at once (0: only the
    // reply time-out counts). Once a byte has come, the whole reply is
    // awaited within the reply time-out as always. A scan sets it so that a
    // silent address costs what the line needs, not a whole time-out.
    void SetFirstByteBudget(std::chrono::microseconds budget) { m_nFirstByteUs = budget.count(); }
    std::chrono::microseconds FirstByteBudget() const {
        return std::chrono::microseconds(m_nFirstByteUs.load());
    }

    // Changes the line settings of the open port between two transactions,
    // without closing it (so no other program can take the port meanwhile).
    // False when the port is closed or the settings cannot be applied.
    bool SetLineSettings(const std::string& settings);
    // The settings the port was opened with or last set to; "" while closed.
    std::string LineSettingsText() const;

    // Function 0x03. dest receives the reply's data bytes unchanged (big-endian
    // registers); capacity in: bytes available, out: bytes copied.
    ResultCode ReadRegisters(uint8_t slave, uint16_t start, uint16_t count, uint8_t* dest,
                             uint16_t* capacity);
    // Function 0x06; the echo is stored where pointers are given.
    ResultCode WriteRegister(uint8_t slave, uint16_t addr, uint16_t value,
                             uint16_t* echoAddr = nullptr, uint16_t* echoValue = nullptr);
    // Function 0x10 with host-order values; at most 31 registers.
    ResultCode WriteRegisters(uint8_t slave, uint16_t start, const uint16_t* values, uint16_t count,
                              uint16_t* echoStart = nullptr, uint16_t* echoCount = nullptr);
    // Function 0x2B / MEI 0x0E. dest receives the reply from the more-follows
    // byte up to, not including, the CRC.
    ResultCode ReadDeviceId(uint8_t slave, uint8_t code, uint8_t objectId, uint8_t* dest,
                            uint16_t* capacity);

    // Copies of the last request sent and of the reply bytes received so far.
    std::vector<uint8_t> GetTxFrame() const;
    std::vector<uint8_t> GetRxFrame() const;

    // Link watchers (see LinkObserver.h). An observer is added once; adding
    // it again does nothing.
    void AddObserver(ILinkObserver* observer);
    void RemoveObserver(ILinkObserver* observer);

    // Plugs in another line (tests). Only while the port is closed; the master
    // does not own it.
    void AttachLine(ISerialLine* line);

protected:
    // Runs one exchange: sends the request, waits for an acceptable reply,
    // and on success leaves it in reply. Returns 0, an exception code, or a
    // local failure.
    ResultCode Transact(const uint8_t* request, size_t len, uint8_t slave,
                        std::vector<uint8_t>& reply);

private:
    bool StartReceiver();
    void ReceiveThread();
    // Reads what the line has queued into the reply and judges it once the
    // line is quiet; true when the reply just became whole. m_dataLock held.
    bool PumpLocked();
    // Waits for more of the reply until the deadline: sleeps through the
    // bytes that cannot have arrived yet, then waits for input.
    void AwaitReply(std::chrono::steady_clock::time_point deadline);
    // Notes a line that has gone away; true when it has.
    bool CheckLineGone();

    CComPort m_port;
    ISerialLine* m_pLine;
    EPortError m_openError = EPortError::None;

    std::atomic<uint32_t> m_nTimeout{500};
    std::atomic<int64_t> m_nFirstByteUs{0};
    // Time one character takes on the line (start, data, parity and stop
    // bits at the baud rate); 0 when unknown.
    std::atomic<int64_t> m_nCharNs{0};
    std::mutex m_txLock; // one transaction at a time

    // Shared with the receive thread. Between transactions the receive thread
    // reads the line; during one, the transaction's thread does (m_bTxActive).
    mutable std::mutex m_dataLock;
    std::condition_variable m_lineFree;
    bool m_bTxActive = false;
    bool m_bRxWaiting = false; // the receive thread waits for input
    CReplyAssembler m_rx;
    size_t m_nCompleteLen = 0; // length of the reply when it was judged whole
    uint8_t m_txBuf[kRtuMaxFrame] = {};
    size_t m_nTxLen = 0;
    std::string m_strSettings; // the line's settings while open

    std::mutex m_obsLock; // held while observers are called
    std::vector<ILinkObserver*> m_observers;
    std::atomic<int> m_nObservers{0};

    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bLineLost{false};
    std::thread m_receiver;
};
