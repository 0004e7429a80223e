#pragma once

#include "app/MainFrame.h"

class CLumekoDoc;
class CLumekoView;

// When each command is enabled and checked, evaluated as a menu opens and at idle time
// for the tool bar. The document's commands follow whether a movie is open and playing
// (a paused movie still counts as playing); the view's are never disabled and are
// checked by their settings.
CMainFrame::CommandState DocumentCommandState(int command, const CLumekoDoc& doc);
CMainFrame::CommandState ViewCommandState(int command, const CLumekoView& view);
