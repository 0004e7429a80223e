#pragma once

#include <QDialog>

#include "playback/FileInfo.h"

// "File Information": the picture's depth, size, rate and frames beside the sound's
// type, rate, channels and the running time.
class CFileInfoDlg final : public QDialog {
public:
    CFileInfoDlg(const FileInfoTexts& texts, QWidget* parent);
};

// "Lumeko Information": the icon, what the program is, and its version.
class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent);
};
