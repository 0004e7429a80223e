#pragma once

// Command identifiers shared by the menu, the tool bar, the accelerator and the handlers.
enum CommandId : int {
    ID_STOP = 32771,
    ID_PLAY = 32772,
    ID_NORMAL = 32774,
    ID_DOUBLE = 32775,
    ID_FILE_INFO = 32778,
    ID_TRIPLE = 32779,
    ID_CONVERT = 32780,
    ID_PAUSE = 32781,
    ID_FILE_SELECT = 32783,
    ID_FULL_SCREEN = 32784,
    ID_MAXIMUM = 32785,
    ID_DIRECT_DRAW = 32786,
    ID_LOOP = 32787,
    ID_ASPECT = 32791,
    ID_FILE_OPEN = 57601,
    ID_FILE_MRU_FIRST = 57616,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57670,

    // The keys and commands every movie player has: moving within the movie, volume,
    // keeping the picture.
    ID_SAVE_PICTURE = 32850,
    ID_COPY_PICTURE = 32851,
    ID_PLAY_PAUSE = 32852,
    ID_SEEK_BACK = 32853,
    ID_SEEK_FORWARD = 32854,
    ID_SEEK_BACK_LONG = 32855,
    ID_SEEK_FORWARD_LONG = 32856,
    ID_SEEK_START = 32857,
    ID_SEEK_END = 32858,
    ID_STEP_BACK = 32859,
    ID_STEP_FORWARD = 32860,
    ID_TOGGLE_FULL_SCREEN = 32861,
    // 32862 is kept free: Escape is the full-screen view's own key.
    ID_MUTE = 32863,
    ID_VOLUME_UP = 32864,
    ID_VOLUME_DOWN = 32865,
};
