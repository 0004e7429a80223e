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
    ID_FILE_MRU_LAST = 57631,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57670,
};
