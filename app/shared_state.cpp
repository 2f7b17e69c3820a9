#include "app/shared_state.h"

namespace varnok {

int ChipCapacity(Chip chip) {
    int capacity = 1024;
    if (chip == Chip::AT89C2051) capacity = 2048;
    if (chip == Chip::AT89C4051) capacity = 4096;
    return capacity;
}

const char* ChipName(Chip chip) {
    switch (chip) {
        case Chip::AT89C1051:
            return "AT89C1051";
        case Chip::AT89C2051:
            return "AT89C2051";
        case Chip::AT89C4051:
            return "AT89C4051";
        case Chip::None:
            break;
    }
    return "none";
}

std::uint8_t ChipSignature(Chip chip) {
    switch (chip) {
        case Chip::AT89C1051:
            return 0x11;
        case Chip::AT89C2051:
            return 0x21;
        case Chip::AT89C4051:
            return 0x41;
        case Chip::None:
            break;
    }
    return 0;
}

namespace {
const PortRow kPortTable[] = {
    {1, "LPT 1 (  378H )", 0x378, 0x379, 0x37A, 0},
    {2, "LPT 2 (  278H )", 0x278, 0x279, 0x27A, 1},
    {3, "LPT 3 ( 3BCH )", 0x3BC, 0x3BD, 0x3BE, 2},
    {4, "LPT 4 ( 2BCH )", 0x2BC, 0x2BD, 0x2BE, 3},
};
}  // namespace

const PortRow* PortTableRow(int n) {
    if (n < 1 || n > 4) return nullptr;
    return &kPortTable[n - 1];
}

bool SharedState::selectPort(int n) {
    const PortRow* row = PortTableRow(n);
    if (!row) return false;
    DataPort = row->dataPort;
    StatusPort = row->statusPort;
    ControlPort = row->controlPort;
    PrinterNumber = row->printerNumber;
    return true;
}

SharedState g_sharedState;

}  // namespace varnok
