#include "app/CommandStates.h"

#include "app/CommandIds.h"
#include "playback/LumekoDoc.h"
#include "view/LumekoView.h"

CMainFrame::CommandState DocumentCommandState(int command, const CLumekoDoc& doc) {
    switch (command) {
        case ID_PLAY:
            return {doc.m_bOpen && !doc.m_bPlaying, false};
        case ID_STOP:
        case ID_PAUSE:
            return {doc.m_bOpen && doc.m_bPlaying, false};
        case ID_FILE_INFO:
        case ID_CONVERT:
            return {doc.m_bOpen, false};
        case ID_LOOP:
            return {true, doc.m_bLoop != 0};
        default:
            return {true, false};
    }
}

CMainFrame::CommandState ViewCommandState(int command, const CLumekoView& view) {
    switch (command) {
        case ID_NORMAL:
            return {true, view.WindowSize() == 1};
        case ID_DOUBLE:
            return {true, view.WindowSize() == 2};
        case ID_TRIPLE:
            return {true, view.WindowSize() == 3};
        case ID_MAXIMUM:
            return {true, view.WindowSize() == -1};
        case ID_ASPECT:
            return {true, view.AspectCorrect()};
        case ID_DIRECT_DRAW:
            return {true, view.DirectDraw()};
        case ID_FULL_SCREEN:
            return {true, view.FullScreenSetting()};
        default:
            return {true, false};
    }
}
