#include "imaging_ui/SizeRuleHandlers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace quill {

SizeRuleHandlers::SizeRuleHandlers(const SizePanelControls& controls) : c_(controls) {}

SizeRuleHandlers::SizeRuleHandlers(QCheckBox* CheckBox1, QCheckBox* CheckBox2, QCheckBox* CheckBox4,
                                   QLineEdit* Edit1, QLineEdit* Edit2, QLabel* Label1)
    : c_{CheckBox1, CheckBox2, CheckBox4, Edit1, Edit2, Label1} {}

void SizeRuleHandlers::CheckBox1Click() {
    followWidthAndHeightBoxes();
}

void SizeRuleHandlers::CheckBox2Click() {
    followWidthAndHeightBoxes();
}

void SizeRuleHandlers::followWidthAndHeightBoxes() {
    const bool width = c_.CheckBox1->isChecked();
    const bool height = c_.CheckBox2->isChecked();
    if (width && !height) {
        c_.Edit2->setEnabled(false);
    } else if (!width && height) {
        c_.Edit1->setEnabled(false);
    } else {
        c_.Edit1->setEnabled(true);
        c_.Edit2->setEnabled(true);
    }
    c_.Label1->setText(explanationText(sizeMode()));
}

void SizeRuleHandlers::CheckBox4Click() {
    if (c_.CheckBox4->isChecked()) {
        // The boxes get back the states they had, so no click handler needs to run for them.
        const QSignalBlocker blockWidth(c_.CheckBox1);
        const QSignalBlocker blockHeight(c_.CheckBox2);
        c_.CheckBox1->setEnabled(true);
        c_.CheckBox2->setEnabled(true);
        c_.CheckBox1->setChecked(savedWidthChecked_);
        c_.CheckBox2->setChecked(savedHeightChecked_);
        c_.Edit1->setEnabled(true);
        c_.Edit2->setEnabled(true);
        c_.Label1->setText(savedExplanation_);
        return;
    }
    savedWidthChecked_ = c_.CheckBox1->isChecked();
    savedHeightChecked_ = c_.CheckBox2->isChecked();
    c_.CheckBox1->setEnabled(false);
    c_.CheckBox2->setEnabled(false);
    c_.Edit1->setEnabled(false);
    c_.Edit2->setEnabled(false);
    savedExplanation_ = c_.Label1->text();
    c_.Label1->setText(originalSizeText());
}

bool SizeRuleHandlers::ReadAndValidateTargets() {
    if (!c_.CheckBox4->isChecked()) {
        return true;
    }
    targetWidth_ = readDecimalInteger(c_.Edit1->text());
    targetHeight_ = readDecimalInteger(c_.Edit2->text());
    switch (checkTargets(targetWidth_, targetHeight_, sizeMode())) {
    case TargetCheck::NotPositive:
        c_.Label1->setText(targetsNotPositiveText());
        return false;
    case TargetCheck::TooLarge:
        c_.Label1->setText(targetsTooLargeText());
        return false;
    case TargetCheck::Ok:
        break;
    }
    return true;
}

int SizeRuleHandlers::sizeMode() const {
    return (c_.CheckBox1->isChecked() ? SizeModeWidth : 0) |
           (c_.CheckBox2->isChecked() ? SizeModeHeight : 0);
}

SizeRule SizeRuleHandlers::sizeRule() const {
    return {c_.CheckBox4->isChecked(), sizeMode(), targetWidth_, targetHeight_};
}

} // namespace quill
