#include "app/CompressorDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

#include "convert/Compressor.h"

namespace {

constexpr int kQualityRole = Qt::UserRole + 1;
constexpr int kKeyFramesRole = Qt::UserRole + 2;
constexpr int kDataRateRole = Qt::UserRole + 3;

}  // namespace

CompressorDialog::CompressorDialog(convert::COMPVARS& vars, QWidget* parent)
    : QDialog(parent),
      m_vars(vars),
      m_list(new QListWidget(this)),
      m_quality(new QSpinBox(this)),
      m_keyEvery(new QSpinBox(this)),
      m_dataRate(new QSpinBox(this)) {
    setWindowTitle("Video Compression");
    for (const auto& c : convert::InstalledCompressors()) {
        auto* item = new QListWidgetItem(QString::fromStdString(c.name), m_list);
        item->setData(Qt::UserRole, c.fccHandler);
        item->setData(kQualityRole, c.heedsQuality);
        item->setData(kKeyFramesRole, c.heedsKeyFrames);
        item->setData(kDataRateRole, c.heedsDataRate);
        if (c.fccHandler == vars.fccHandler) m_list->setCurrentItem(item);
    }
    m_quality->setRange(0, 100);
    m_quality->setValue(vars.lQ / 100);
    m_keyEvery->setRange(0, 10000);
    m_keyEvery->setSuffix(" frames");
    m_keyEvery->setSpecialValueText("the first frame only");
    m_keyEvery->setValue(vars.lKey);
    m_dataRate->setRange(0, 1000000);
    m_dataRate->setSuffix(" KB/s");
    m_dataRate->setSpecialValueText("none");
    m_dataRate->setValue(vars.lDataRate);

    auto* form = new QFormLayout;
    form->addRow("Compression &Quality:", m_quality);
    form->addRow("&Key Frame Every:", m_keyEvery);
    form->addRow("&Data Rate:", m_dataRate);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::currentItemChanged, this, &CompressorDialog::OnCompressorChanged);
    OnCompressorChanged();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CompressorDialog::OnCompressorChanged() {
    const QListWidgetItem* item = m_list->currentItem();
    m_quality->setEnabled(item && item->data(kQualityRole).toBool());
    m_keyEvery->setEnabled(item && item->data(kKeyFramesRole).toBool());
    m_dataRate->setEnabled(item && item->data(kDataRateRole).toBool());
}

void CompressorDialog::accept() {
    if (QListWidgetItem* item = m_list->currentItem())
        m_vars.fccHandler = item->data(Qt::UserRole).toUInt();
    m_vars.lQ = m_quality->value() * 100;
    m_vars.lKey = m_keyEvery->value();
    m_vars.lDataRate = m_dataRate->value();
    QDialog::accept();
}
