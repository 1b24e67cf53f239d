#pragma once
// The main window's handlers for the size panel: the three check boxes, the explanation label and
// reading the target fields when "Start" is pressed. The window owns the controls.

#include "imaging/SizeRules.h"

#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace quill {

struct SizePanelControls {
    QCheckBox* CheckBox1; // "Breite"
    QCheckBox* CheckBox2; // "Höhe"
    QCheckBox* CheckBox4; // "Grösse ändern"
    QLineEdit* Edit1;     // target width
    QLineEdit* Edit2;     // target height
    QLabel* Label1;       // explanation
};

class SizeRuleHandlers {
public:
    explicit SizeRuleHandlers(const SizePanelControls& controls);
    SizeRuleHandlers(QCheckBox* CheckBox1, QCheckBox* CheckBox2, QCheckBox* CheckBox4,
                     QLineEdit* Edit1, QLineEdit* Edit2, QLabel* Label1);

    // Both do the same: the edit fields' enable states and the explanation follow both boxes.
    void CheckBox1Click();
    void CheckBox2Click();
    // Resizing off saves the boxes and the explanation; on brings them back.
    void CheckBox4Click();

    // At "Start": with resizing on, reads both targets and checks them. False means the run must
    // not start; the reason is then in the explanation label.
    bool ReadAndValidateTargets();

    // 1 if "Breite" is ticked plus 2 if "Höhe" is ticked.
    int sizeMode() const;
    int targetWidth() const { return targetWidth_; }
    int targetHeight() const { return targetHeight_; }
    // What a run reads at its start: resizing, size mode and the last validated targets.
    SizeRule sizeRule() const;

private:
    void followWidthAndHeightBoxes();

    SizePanelControls c_;
    int targetWidth_ = 200;
    int targetHeight_ = 200;
    bool savedWidthChecked_ = false;
    bool savedHeightChecked_ = false;
    QString savedExplanation_;
};

} // namespace quill
