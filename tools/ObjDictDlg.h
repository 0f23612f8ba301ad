#pragma once
// The "访问对象字典" tool window: one expedited SDO request of any kind to any
// object of the driver's CANopen dictionary, with the request and the answer
// shown as the eight bytes of the SDO frame and the answer decoded.
//
// The conversions are plain functions below; the window only moves texts in
// and out of its controls.

#include "desklogic/PageLogic.h"
#include "driver/Sdo.h"
#include "tools/ToolDlg.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// --- Conversions ----------------------------------------------------------------

// Command list index 0 reads (0x40); 1 to 4 write that many bytes.
uint8_t ObjDictCommand(int commandIndex);
// The index text rewritten as "%04X" of its hexadecimal value.
std::string ObjIndexText(std::string_view text);
// The sub-index typed in decimal, or in hexadecimal when it holds an "x"
// ("0x1A"), low 8 bits.
uint8_t ObjSubIndex(std::string_view text);
// The data edit's hexadecimal value as a signed decimal of the command's width.
std::string ObjDataToDecimal(std::string_view hex, int commandIndex);
// The decimal edit's value as hexadecimal digits of the command's width.
std::string ObjDecimalToData(std::string_view decimal, int commandIndex);

// The request "操作" sends.
struct SObjDictRequest {
    uint8_t command = kSdoUpload;
    uint16_t index = 0;
    uint8_t subindex = 0;
    uint32_t data = 0; // 0 for a read, whatever the data edit holds
};
SObjDictRequest ObjDictRequest(int commandIndex, std::string_view indexText,
                               std::string_view subText, std::string_view dataText);
// Why "操作" cannot send what the window holds (values by control ID): an
// index that is not hexadecimal within 0000-FFFF, a sub-index that is not
// 0-255 (decimal, or hexadecimal after 0x), and for a download data that is
// not hexadecimal within the command's width or a decimal text that is no
// integer of that width. A decimal text the window itself made from the
// data is always taken as it stands.
SInputProblem ObjDictProblem(const CtrlValues& values, int commandIndex);

// "XX XX XX XX XX XX XX XX": command, index low and high byte, sub-index,
// data least significant byte first, as the frame travels on CAN.
std::string SdoFrameText(uint8_t command, uint16_t index, uint8_t subindex, uint32_t data);
// The answer decoded for a known answer command (lines joined by "\r\n");
// false for any other command, whose answer leaves the decoded text as it is.
bool DecodeSdoReply(const SdoReply& reply, std::string& text);

// --- Window ---------------------------------------------------------------------

class CDriverContext;

namespace Ui {
class CObjDictDlg;
}

class CObjDictDlg : public CToolDlg {
    Q_OBJECT
public:
    explicit CObjDictDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CObjDictDlg() override;
    Ui::CObjDictDlg& Ui() const { return *m_ui; }

protected:
    void OnFocusLeft(QWidget* ctrl) override;

private:
    void OnCommandChanged();
    void OnOperate();
    int CommandIndex() const;
    // The decoded answer under the frames, in the language in use.
    void ShowDecoded();

    CDriverContext& m_ctx;
    Ui::CObjDictDlg* m_ui;
    std::optional<SdoReply> m_lastReply;
};
