#pragma once
// Expedited SDO exchanges tunnelled through the driver's six-register window.

#include <cstdint>
#include <string>

struct SdoReply {
    uint16_t command = 0; // the answer's SDO command byte in the low 8 bits
    uint16_t index = 0;
    uint16_t subindex = 0;
    uint16_t reserved = 0;
    uint32_t data = 0; // upload value, or the abort code after 0x80
};

enum : uint8_t {
    kSdoUpload = 0x40,
    kSdoDownload1 = 0x2F,
    kSdoDownload2 = 0x2B,
    kSdoDownload3 = 0x27,
    kSdoDownload4 = 0x23,
    kSdoUploadAns1 = 0x4F,
    kSdoUploadAns2 = 0x4B,
    kSdoUploadAns3 = 0x47,
    kSdoUploadAns4 = 0x43,
    kSdoDownloadAck = 0x60,
    kSdoAbort = 0x80,
};

// Download command byte for a size of 1..4 bytes (0 for any other size).
uint8_t SdoDownloadCommand(int size);

// "text (0xXXXXXXXX)" for a known abort code, "未定义终止码(0xXXXXXXXX)" otherwise.
std::string SdoAbortText(uint32_t code);

// The six window registers of a request, host order.
void BuildSdoWindow(uint8_t command, uint16_t index, uint8_t subindex, uint32_t data,
                    uint16_t regs[6]);
// Fills a reply from the six window registers (host order).
SdoReply ParseSdoWindow(const uint16_t regs[6]);
