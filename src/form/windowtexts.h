#pragma once

#include <QString>

// Texts of the window that the widget tree is built with and that handlers
// show again, each written once.

// "通道一".."通道十六" for input channels 0..15.
QString channelName(int channel);
// "输出一".."输出八" for outputs 0..7.
QString outputName(int output);
// Command3's caption for the channel shown in Combo5: "通道一联动确认".
QString linkageConfirmCaption(const QString &channel);

inline constexpr char kManualOutputsTitle[] = "手动控制输出";
// The lock buttons' captions, unlocked and locked.
inline constexpr char kLockCaption[] = "锁定状态";
inline constexpr char kUnlockCaption[] = "取消锁定";
