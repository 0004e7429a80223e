#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "OffscreenApp.h"
#include "app/FileInfoDialog.h"

// The two dialogs: their titles, and every text whole inside its own control.
namespace {

class DialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureOffscreenApp(); }

    static void ExpectTextsFitAndDoNotOverlap(const QDialog& dialog) {
        const auto labels = dialog.findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            if (label->text().isEmpty()) continue;
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                << label->text().toStdString();
            EXPECT_TRUE(dialog.rect().contains(label->geometry())) << label->text().toStdString();
            for (const QLabel* other : labels) {
                if (other == label || other->text().isEmpty()) continue;
                EXPECT_FALSE(label->geometry().intersects(other->geometry()))
                    << label->text().toStdString() << " / " << other->text().toStdString();
            }
        }
    }
};

TEST_F(DialogsTest, FileInformationShowsEveryTextWhole) {
    const FileInfoTexts texts{"44100Hz", "0x62",      "2",       "123456",
                              "24bpp",   "1920x1080", "2222:59", "29.97fps"};
    CFileInfoDlg dialog(texts, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "File Information");
    QStringList shown;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) shown << label->text();
    for (const char* t : {"Image", "Size", "Rate", "Frames", "Type", "Channels", "Time", "44100Hz",
                          "0x62", "123456", "24bpp", "1920x1080", "2222:59", "29.97fps"})
        EXPECT_TRUE(shown.contains(t)) << t;
    QStringList groups;
    for (const QGroupBox* box : dialog.findChildren<QGroupBox*>()) groups << box->title();
    EXPECT_EQ(groups, (QStringList{"Video", "Audio"}));
    ExpectTextsFitAndDoNotOverlap(dialog);
    const QPushButton* ok = dialog.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
}

TEST_F(DialogsTest, AboutShowsTheIconAndBothLines) {
    CAboutDlg dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Lumeko Information");
    bool icon = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        icon = icon || !label->pixmap().isNull();
    EXPECT_TRUE(icon);
    ExpectTextsFitAndDoNotOverlap(dialog);
}

}  // namespace
