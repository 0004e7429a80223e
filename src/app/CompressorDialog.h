#pragma once

#include <QDialog>

#include "convert/CompressorVars.h"

class QListWidget;
class QSpinBox;

// The compressor dialog: the list of compressors, quality, a key frame every N frames,
// and a data rate.
class CompressorDialog final : public QDialog {
public:
    CompressorDialog(convert::COMPVARS& vars, QWidget* parent);
    void accept() override;

private:
    // Only the settings the chosen compressor heeds can be changed.
    void OnCompressorChanged();

    convert::COMPVARS& m_vars;
    QListWidget* m_list;
    QSpinBox* m_quality;
    QSpinBox* m_keyEvery;
    QSpinBox* m_dataRate;
};
