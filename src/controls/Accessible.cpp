#include "controls/Accessible.h"

#include "controls/ButtonBase.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "controls/StaticText.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <functional>

namespace quill {
namespace {

// A control that a click (and so the press action) sets going.
class PressableAccessible : public QAccessibleWidget {
public:
    PressableAccessible(QWidget* widget, std::function<QString()> caption,
                        std::function<void()> press)
        : QAccessibleWidget(widget, QAccessible::Button), caption_(std::move(caption)),
          press_(std::move(press)) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return caption_().trimmed();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction() && widget()->isEnabled()) {
            press_();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    std::function<QString()> caption_;
    std::function<void()> press_;
};

// A selector of the program, named by its window: on Linux Qt calls a combo box by its current
// entry and leaves the name to a label beside it, which the drive selector does not have.
class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return box()->currentText();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == showMenuAction() && box()->isEnabled()) {
            box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

class GraphicAccessible : public QAccessibleWidget {
public:
    explicit GraphicAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Graphic) {}
};

// A static text or picture is a button where the window lets the keyboard press it.
bool pressable(const QWidget& control) {
    return control.focusPolicy() != Qt::NoFocus;
}

// What the factory makes belongs to Qt's accessibility cache, which deletes it with its control.
QAccessibleInterface* controlInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("quill::TXAquaButton") ||
        className == QLatin1String("quill::TXGButton")) {
        auto* button = static_cast<ButtonBase*>(object);
        return new PressableAccessible(
            button, [button] { return button->Text(); }, [button] { button->Click(); });
    }
    if (className == QLatin1String("quill::TLabelFX")) {
        auto* label = static_cast<TLabelFX*>(object);
        return new PressableAccessible(
            label, [label] { return label->text(); }, [label] { emit label->clicked(); });
    }
    if (className == QLatin1String("quill::TStaticText")) {
        auto* text = static_cast<TStaticText*>(object);
        if (!pressable(*text)) {
            return nullptr;
        }
        return new PressableAccessible(
            text, [text] { return text->text(); }, [text] { emit text->clicked(); });
    }
    // The program's own selectors, at their most derived class (the name is read when asked).
    if (auto* box = qobject_cast<QComboBox*>(object);
        box != nullptr && className.startsWith(QLatin1String("quill::")) &&
        className == QLatin1String(object->metaObject()->className())) {
        return new NamedComboBoxAccessible(box);
    }
    if (className == QLatin1String("quill::TImage")) {
        auto* image = static_cast<TImage*>(object);
        if (!pressable(*image)) {
            return new GraphicAccessible(image);
        }
        return new PressableAccessible(
            image, [] { return QString(); }, [image] { emit image->clicked(); });
    }
    return nullptr;
}

} // namespace

void installControlAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(controlInterface);
        return true;
    }();
    (void)installed;
}

} // namespace quill
