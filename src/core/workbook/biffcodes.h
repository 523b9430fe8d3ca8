#pragma once
// The numbers of the BIFF8 format that both the .xls writer (biff8.cpp) and the .xls reader
// (workbookreader.cpp) use: record identifiers and the alignment codes of XF records.
#include <cstdint>

namespace exchange {

struct Biff {
    enum Record : uint16_t {
        kFormula = 0x0006,
        kEof = 0x000A,
        kDate1904 = 0x0022,
        kFont = 0x0031,
        kContinue = 0x003C,
        kWindow1 = 0x003D,
        kCodepage = 0x0042,
        kDefColWidth = 0x0055,
        kColInfo = 0x007D,
        kBoundSheet = 0x0085,
        kXf = 0x00E0,
        kSst = 0x00FC,
        kLabelSst = 0x00FD,
        kExtSst = 0x00FF,
        kDimensions = 0x0200,
        kBlank = 0x0201,
        kLabel = 0x0204,
        kBoolErr = 0x0205,
        kString = 0x0207,
        kArray = 0x0221,
        kTable = 0x0236,
        kWindow2 = 0x023E,
        kStyle = 0x0293,
        kFormat = 0x041E,
        kShrFmla = 0x04BC,
        kBof = 0x0809,
    };
    // The version field of a BIFF8 BOF record.
    static constexpr uint16_t kVersion8 = 0x0600;
    // Alignment fields of an XF record.
    enum Horizontal { kGeneral = 0, kLeft = 1, kCentre = 2, kRight = 3 };
    enum Vertical { kTop = 0, kMiddle = 1, kBottom = 2 };
};

}  // namespace exchange
