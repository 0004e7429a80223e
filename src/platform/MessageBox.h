#pragma once

#include <string_view>

// The program's own error messages: no owner window, the system's default caption,
// task-modal, with the error icon, and one text (UTF-8).

namespace platform {

// The program's own texts that more than one part shows (ConsoleMessageBox gives each in
// English).
inline constexpr char kNoMemoryText[] = "ﾒﾓﾘが確保出来ません";
inline constexpr char kNoSoundMemoryText[] = "音声用のﾒﾓﾘが確保出来ません";
inline constexpr char kCannotConvertText[] = "このCODECには変換できません";
inline constexpr char kSourceIsOutputText[] = "変換元のﾌｧｲﾙには書き込めません";

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowError(std::string_view text) = 0;
};

}  // namespace platform
