#include "driver/FrameDecode.h"

#include "driver/Blocks.h"
#include "driver/CanOpen.h"
#include "driver/FieldInput.h"
#include "driver/Format.h"
#include "driver/Learning.h"
#include "driver/MotorDriver.h"
#include "driver/Sdo.h"
#include "driver/Texts.h"
#include "lang/Tr.h"
#include "modbus/Crc16.h"
#include "modbus/ResultCode.h"
#include "modbus/RtuFrame.h"

#include <algorithm>

namespace {

constexpr uint16_t kSdoWindowRegs = 6;

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

bool CrcOk(const uint8_t* f, size_t len) {
    return len >= 4 &&
           Crc16Value(f, len - 2) == static_cast<uint16_t>(f[len - 2] | (f[len - 1] << 8));
}

STxField RawRegister(uint16_t addr, uint16_t value) {
    STxField f;
    f.label = StrFormat(lang::translate("driver/FrameDecode", "寄存器 0x%04X").c_str(), addr);
    f.addr = addr;
    f.value = std::to_string(value);
    f.text = StrFormat("%u (0x%04X)", value, value);
    return f;
}

// The fields of [start, start + count) with the registers given, decoded
// through the blocks that hold them, each block once; registers no field
// starts at (or outside every block) are shown raw. A field cut by the
// range's end is shown register by register, since half of it has no value.
void AddFields(uint16_t start, const std::vector<uint16_t>& regs, const DecodeContext& ctx,
               std::vector<STxField>& out) {
    const size_t count = regs.size();
    const BlockDef* decoded = nullptr;
    std::vector<DecodedField> fields;
    size_t i = 0;
    while (i < count) {
        const uint16_t addr = static_cast<uint16_t>(start + i);
        const BlockDef* b = BlockOf(addr);
        const FieldDef* f = b ? FindField(*b, addr) : nullptr;
        if (!b || !f || i + f->regs > count) {
            out.push_back(RawRegister(addr, regs[i]));
            ++i;
            continue;
        }
        if (b != decoded) {
            // The block's image with what this frame carries in place: a
            // field whose scale follows another register of its block reads
            // it from here when the frame carries that one too.
            std::vector<uint16_t> image(b->count, 0);
            for (size_t k = 0; k < count; ++k) {
                const int at = static_cast<int>(start + k) - b->start;
                if (at >= 0 && at < b->count)
                    image[static_cast<size_t>(at)] = regs[k];
            }
            fields = DecodeBlock(*b, image, ctx);
            decoded = b;
        }
        STxField tf;
        tf.name = std::string(b->name) + "." + f->name;
        tf.label = FieldLabelText(*f);
        tf.addr = addr;
        tf.regs = f->regs;
        for (const DecodedField& d : fields)
            if (d.addr == addr) {
                tf.value = d.value.IsBool() ? (d.value.flag ? "1" : "0") : d.value.text;
                tf.unit = d.unit;
                tf.text = CatalogueText(d.text);
            }
        out.push_back(std::move(tf));
        i += f->regs;
    }
}

// The page's name for the block, or for the blocks no page shows, what the
// main window calls them.
std::string BlockTitle(const BlockDef* b) {
    if (!b)
        return "";
    if (b->page)
        return CatalogueText(b->page);
    const std::string name = b->name;
    return name == "device-info" ? lang::translate("driver/FrameDecode", "设备信息")
           : name == "status"    ? lang::translate("driver/FrameDecode", "实时状态")
                                 : lang::translate("driver/FrameDecode", "电机学习");
}

std::string SpeedText(uint16_t raw, const DecodeContext& ctx) {
    const int16_t v = static_cast<int16_t>(raw);
    return ctx.speedUnitHz ? StrFormat("%d Hz", v) : FormatScaled(v, 1) + " Hz";
}

// Names the single-register commands and the commands written as a range.
void NameCommand(STransaction& tx, const std::vector<uint16_t>& regs, const DecodeContext& ctx) {
    if (regs.empty())
        return;
    const uint16_t v = regs[0];
    switch (tx.start) {
    case kRegStop:
        tx.command = ECommand::Stop;
        tx.action = lang::translate("driver/FrameDecode", "停止");
        tx.commandArg =
            StopModeText(v)[0]
                ? lang::translate("driver/FrameDecode", StopModeText(v))
                : StrFormat(lang::translate("driver/FrameDecode", "方式 %u").c_str(), v);
        return;
    case kRegRunPwm:
        tx.command = ECommand::RunPwm;
        tx.action = lang::translate("driver/FrameDecode", "占空比运行");
        tx.commandArg = FormatScaled(static_cast<int16_t>(v), 1) + " %";
        return;
    case kRegRunFreq:
        tx.command = ECommand::RunFreq;
        tx.action = lang::translate("driver/FrameDecode", "频率运行");
        tx.commandArg = SpeedText(v, ctx);
        return;
    case kRegRunPosition:
        tx.command = ECommand::Move;
        tx.action = lang::translate("driver/FrameDecode", "位置运动");
        if (regs.size() >= 4) {
            const int32_t pos =
                static_cast<int32_t>((static_cast<uint32_t>(regs[2]) << 16) | regs[3]);
            tx.commandArg =
                StrFormat(lang::translate("driver/FrameDecode", "%d 脉冲 (%s), ").c_str(), pos,
                          (regs[1] ? lang::translate("driver/FrameDecode", "相对")
                                   : lang::translate("driver/FrameDecode", "绝对"))
                              .c_str()) +
                SpeedText(regs[0], ctx);
        } else {
            tx.commandArg = SpeedText(v, ctx);
        }
        return;
    case kRegClearPosition:
        tx.command = ECommand::ClearPosition;
        tx.action = lang::translate("driver/FrameDecode", "清除位置");
        return;
    case kRegReciprocateCmd:
        tx.command = ECommand::Reciprocate;
        tx.action = lang::translate("driver/FrameDecode", "往复运动命令");
        tx.commandArg = std::to_string(v);
        return;
    default:
        break;
    }
    const int learn = static_cast<int>(kRegLearnRequest) - tx.start;
    if (learn >= 0 && static_cast<size_t>(learn) < regs.size()) {
        tx.command = ECommand::Learn;
        tx.commandArg = regs[static_cast<size_t>(learn)]
                            ? lang::translate("driver/FrameDecode", "开始")
                            : lang::translate("driver/FrameDecode", "结束");
    }
}

void DecodeSdo(STransaction& tx, const std::vector<uint16_t>& regs, bool answer) {
    if (tx.start != kRegSdoWindow || regs.size() != kSdoWindowRegs)
        return;
    const SdoReply r = ParseSdoWindow(regs.data());
    STxSdo& s = tx.sdo;
    s.present = true;
    s.answer = answer;
    s.command = static_cast<uint8_t>(r.command & 0xFF);
    s.index = r.index;
    s.sub = static_cast<uint8_t>(r.subindex & 0xFF);
    s.data = r.data;
    s.object = CanOpenObjectName(s.index, s.sub);
    s.commandText = SdoCommandText(s.command, answer);
    s.abort = answer && s.command == kSdoAbort;
    if (s.abort) {
        s.abortText = SdoAbortText(s.data);
    } else {
        const int size = answer ? SdoUploadSize(s.command) : 0;
        const bool carries = answer ? size > 0 : s.command != kSdoUpload;
        if (carries)
            s.value = StrFormat("0x%08X (%u)", s.data, s.data);
    }
    tx.action = answer ? lang::translate("driver/FrameDecode", "SDO应答")
                       : lang::translate("driver/FrameDecode", "SDO请求");
}

std::vector<uint16_t> Registers(const uint8_t* p, size_t n) {
    std::vector<uint16_t> regs(n);
    for (size_t i = 0; i < n; ++i)
        regs[i] = Be16(p + 2 * i);
    return regs;
}

void DecodeRequest(STransaction& tx, const uint8_t* q, size_t n, std::vector<uint16_t>& written) {
    switch (tx.function) {
    case kFnReadHolding:
        if (n < 8)
            break;
        tx.start = Be16(q + 2);
        tx.count = Be16(q + 4);
        return;
    case kFnWriteSingle:
        if (n < 8)
            break;
        tx.start = Be16(q + 2);
        tx.count = 1;
        written = {Be16(q + 4)};
        return;
    case kFnWriteMultiple: {
        if (n < 9 || n != 9u + q[6])
            break;
        tx.start = Be16(q + 2);
        tx.count = Be16(q + 4);
        written = Registers(q + 7, std::min<size_t>(q[6] / 2u, tx.count));
        return;
    }
    case kFnEncapsulated:
        if (n >= 7 && q[2] == kMeiReadDeviceId) {
            tx.action = lang::translate("driver/FrameDecode", "设备识别");
            return;
        }
        break;
    default:
        break;
    }
    if (tx.problem.empty())
        tx.problem = lang::translate("driver/FrameDecode", "请求帧格式错误");
}

} // namespace

const char* StopModeText(uint16_t mode) {
    switch (mode) {
    case kStopNormal:
        return QT_TRANSLATE_NOOP("driver/FrameDecode", "正常停止");
    case kStopEmergency:
        return QT_TRANSLATE_NOOP("driver/FrameDecode", "紧急停止");
    case kStopFree:
        return QT_TRANSLATE_NOOP("driver/FrameDecode", "自由停止");
    default:
        return "";
    }
}

std::string CanOpenObjectName(uint16_t index, uint8_t sub) {
    static const char* const kCommSubs[] = {QT_TRANSLATE_NOOP("driver/FrameDecode", "子索引数"),
                                            "COB-ID",
                                            QT_TRANSLATE_NOOP("driver/FrameDecode", "传输类型"),
                                            QT_TRANSLATE_NOOP("driver/FrameDecode", "禁止时间"),
                                            QT_TRANSLATE_NOOP("driver/FrameDecode", "保留"),
                                            QT_TRANSLATE_NOOP("driver/FrameDecode", "事件时间"),
                                            QT_TRANSLATE_NOOP("driver/FrameDecode", "SYNC起始值")};
    auto pdo = [&](int row, bool mapping) {
        const std::string head = std::string(PdoName(row)) +
                                 (mapping ? lang::translate("driver/FrameDecode", " 映射 ")
                                          : lang::translate("driver/FrameDecode", " 通讯参数 "));
        if (mapping)
            return head +
                   (sub == 0 ? lang::translate("driver/FrameDecode", "映射数量")
                    : sub <= kMaxMapEntries
                        ? StrFormat(lang::translate("driver/FrameDecode", "映射对象%u").c_str(),
                                    sub)
                        : StrFormat(lang::translate("driver/FrameDecode", "子索引%u").c_str(),
                                    sub));
        return head +
               (sub < 7
                    ? lang::translate("driver/FrameDecode", kCommSubs[sub])
                    : StrFormat(lang::translate("driver/FrameDecode", "子索引%u").c_str(), sub));
    };
    for (int row = 0; row < kPdoCount; ++row) {
        if (index == PdoCommIndex(row))
            return pdo(row, false);
        if (index == PdoMapIndex(row))
            return pdo(row, true);
    }
    switch (index) {
    case kObjSyncCobId:
        return "SYNC COB-ID";
    case kObjSyncCycle:
        return lang::translate("driver/FrameDecode", "SYNC 通讯间隔时间");
    case kObjSyncWindow:
        return lang::translate("driver/FrameDecode", "SYNC 同步窗口长度");
    case kObjStore:
        return sub == kStoreAll ? lang::translate("driver/FrameDecode", "存储 全部参数")
               : sub == kStoreComm
                   ? lang::translate("driver/FrameDecode", "存储 通讯参数")
                   : StrFormat(lang::translate("driver/FrameDecode", "存储 子索引%u").c_str(), sub);
    default:
        return "";
    }
}

std::string SdoCommandText(uint8_t command, bool answer) {
    if (answer) {
        if (command == kSdoAbort)
            return lang::translate("driver/FrameDecode", "终止");
        if (command == kSdoDownloadAck)
            return lang::translate("driver/FrameDecode", "写入确认");
        if (const int size = SdoUploadSize(command))
            return StrFormat(lang::translate("driver/FrameDecode", "读取应答 (%d字节)").c_str(),
                             size);
    } else {
        switch (command) {
        case kSdoUpload:
            return lang::translate("driver/FrameDecode", "读取");
        case kSdoDownload1:
            return lang::translate("driver/FrameDecode", "写单字节");
        case kSdoDownload2:
            return lang::translate("driver/FrameDecode", "写双字节");
        case kSdoDownload3:
            return lang::translate("driver/FrameDecode", "写三字节");
        case kSdoDownload4:
            return lang::translate("driver/FrameDecode", "写四字节");
        default:
            break;
        }
    }
    return StrFormat(lang::translate("driver/FrameDecode", "命令 0x%02X").c_str(), command);
}

STransaction DecodeExchange(const uint8_t* q, size_t qn, const uint8_t* r, size_t rn,
                            const DecodeContext& ctx) {
    STransaction tx;
    tx.hasRequest = q && qn >= 2;
    tx.hasReply = r && rn >= 2;
    const uint8_t* head = tx.hasRequest ? q : tx.hasReply ? r : nullptr;
    if (!head) {
        tx.problem = lang::translate("driver/FrameDecode", "空帧");
        return tx;
    }
    tx.slave = head[0];
    tx.function = static_cast<uint8_t>(head[1] & 0x7F);
    tx.broadcast = tx.hasRequest && tx.slave == 0;
    if (tx.hasRequest && !CrcOk(q, qn))
        tx.problem = lang::translate("driver/FrameDecode", "请求CRC错误");
    else if (tx.hasReply && !CrcOk(r, rn))
        tx.problem = lang::translate("driver/FrameDecode", "应答CRC错误");

    std::vector<uint16_t> written;
    if (tx.hasRequest)
        DecodeRequest(tx, q, qn, written);

    // What the reply says of itself when there is no request to go by.
    const bool exception = tx.hasReply && (r[1] & 0x80) != 0;
    if (tx.hasReply && !tx.hasRequest && !exception && rn >= 8 &&
        (tx.function == kFnWriteSingle || tx.function == kFnWriteMultiple)) {
        tx.start = Be16(r + 2);
        tx.count = tx.function == kFnWriteSingle ? 1 : Be16(r + 4);
        if (tx.function == kFnWriteSingle)
            written = {Be16(r + 4)};
    }

    const BlockDef* b = tx.count ? BlockOf(tx.start) : nullptr;
    tx.block = b ? b->name : "";
    const bool read = tx.function == kFnReadHolding;
    const bool write = tx.function == kFnWriteSingle || tx.function == kFnWriteMultiple;
    if (read || write) {
        const std::string what =
            b ? BlockTitle(b)
              : StrFormat(lang::translate("driver/FrameDecode", "寄存器 0x%04X").c_str(), tx.start);
        tx.action = StrFormat("%s %s",
                              (read ? lang::translate("driver/FrameDecode", "读")
                                    : lang::translate("driver/FrameDecode", "写"))
                                  .c_str(),
                              what.c_str());
        if (tx.count > 1 || !b)
            tx.action += StrFormat(lang::translate("driver/FrameDecode", " (0x%04X, %u个)").c_str(),
                                   tx.start, tx.count);
    }
    if (write) {
        NameCommand(tx, written, ctx);
        DecodeSdo(tx, written, false);
        if (tx.command != ECommand::None && tx.command != ECommand::Learn)
            written.clear(); // the command says it all
        AddFields(tx.start, written, ctx, tx.fields);
    }

    if (tx.hasReply && tx.problem.empty()) {
        if (exception) {
            tx.result = rn >= 5 ? static_cast<int>(r[2]) : static_cast<int>(kResultBadReply);
            tx.resultText = ResultText(tx.result);
        } else if (tx.hasRequest && !ReplyAnswers(q, qn, r, rn)) {
            tx.result = kResultBadReply;
            tx.resultText = ResultText(kResultBadReply);
            tx.problem = lang::translate("driver/FrameDecode", "应答与请求不符");
        } else {
            tx.result = kResultOk;
            tx.resultText = ResultText(kResultOk);
            if (read && rn >= 5 && rn == 5u + r[2]) {
                const std::vector<uint16_t> regs = Registers(r + 3, r[2] / 2u);
                if (tx.hasRequest) {
                    DecodeSdo(tx, regs, true);
                    AddFields(tx.start, regs, ctx, tx.fields);
                }
            } else if (tx.function == kFnEncapsulated && rn > 7) {
                AppendDeviceIdObjects(r + 5, rn - 7, tx.deviceId);
            }
        }
    } else if (tx.hasReply) {
        tx.result = kResultBadReply;
        tx.resultText = ResultText(kResultBadReply);
    } else if (tx.hasRequest && !tx.broadcast) {
        tx.result = kResultTimeout;
        tx.resultText = lang::translate("driver/FrameDecode", "无应答");
    }
    if (tx.action.empty())
        tx.action =
            StrFormat(lang::translate("driver/FrameDecode", "功能码 0x%02X").c_str(), tx.function);
    return tx;
}

std::string TransactionSummary(const STransaction& tx) {
    std::string s = StrFormat(lang::translate("driver/FrameDecode", "从站%u %s").c_str(), tx.slave,
                              tx.action.c_str());
    if (!tx.commandArg.empty())
        s += " " + tx.commandArg;
    if (tx.sdo.present) {
        s += " " + tx.sdo.commandText + StrFormat(" 0x%04X:%u", tx.sdo.index, tx.sdo.sub);
        if (!tx.sdo.object.empty())
            s += " " + tx.sdo.object;
    }
    if (!tx.problem.empty())
        s += ": " + tx.problem;
    else if (tx.result > 0)
        s += ": " + tx.resultText;
    return s;
}

std::string TransactionText(const STransaction& tx) {
    std::string s = TransactionSummary(tx);
    if (tx.sdo.present) {
        if (!tx.sdo.value.empty())
            s += " = " + tx.sdo.value;
        if (tx.sdo.abort)
            s += " " + tx.sdo.abortText;
        return s;
    }
    std::string list;
    for (const STxField& f : tx.fields)
        list += (list.empty() ? "" : ", ") + f.label + "=" + f.text;
    if (!list.empty())
        s += (tx.problem.empty() && tx.result <= 0 ? ": " : "; ") + list;
    if (!tx.deviceId.empty()) {
        std::string id = DeviceIdTextShown(tx.deviceId);
        for (size_t p = id.find("\r\n"); p != std::string::npos; p = id.find("\r\n"))
            id.replace(p, 2, ", ");
        s += ": " + id;
    }
    return s;
}
