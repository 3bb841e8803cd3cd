#pragma once

#include <array>
#include <cstdint>

// The shared variables of the window's handlers, in their declaration
// order. Everything starts zeroed; Form_Load gives the start values.
struct Module1
{
    bool awaitingInputReply = false;
    uint8_t manualOutputMask = 0;
    int16_t portNumber = 0;
    std::array<std::array<int16_t, 8>, 16> linkageTable{}; // (input channel, output)
    uint8_t hostAddress = 0;
    std::array<int16_t, 4> timeSettings{};              // poll ms, filter 1/10 s, reset s, unused
    std::array<std::array<int16_t, 6>, 3> replyTable{}; // (row, byte)
    int16_t portErrorCount = 0;
    int16_t hostType = 0; // 0 = 8-channel host, 1 = 16-channel host
    bool linkageActive = false;
    bool inputCheckPassed = false;
    bool inputCheckPending = false;
    bool linkageTableChecked = false;
    bool locked = false;
    int16_t linkageOutputMask = 0; // always 0..255
    bool filterPending = false;

    void clearReplyTable()
    {
        for (auto &row : replyTable)
            row.fill(0);
    }
    void clearLinkageTable()
    {
        for (auto &channel : linkageTable)
            channel.fill(0);
    }
    bool linkageTableEmpty() const
    {
        for (const auto &channel : linkageTable) {
            for (const int16_t entry : channel) {
                if (entry != 0)
                    return false;
            }
        }
        return true;
    }
};
