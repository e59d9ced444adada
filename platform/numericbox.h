// The spin boxes of the numeric controls. Internal to platform/ (and the tools that read widgets).
//
// A numeric that only shows values (a read-only display whose line edit is not its window's focus)
// is set and coloured with every measurement frame. Setting a spin box's value validates and lays
// out its line edit's text, painting it matches style sheet rules and shapes the text again, and
// a new colour means a new style sheet, parsed and polished. Such a display draws itself instead:
// its frame as the style draws it, kept as a picture per style sheet while the look stays, and
// its text from glyphs laid out once per new text, where the line edit would place them. A value
// reaches the box itself (its value and its line edit's text) when it is read, when the box takes
// the focus, or when this way of drawing does not apply; a style sheet that differs only in the
// background colour from the one in effect, when the box is drawn as ever again.
#pragma once

#include <QAbstractSpinBox>
#include <QColor>
#include <QDoubleSpinBox>
#include <QFont>
#include <QGlyphRun>
#include <QPixmap>
#include <QPointer>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QLineEdit;

namespace kryta {

class ShownNumber {
public:
    virtual ~ShownNumber();
    ShownNumber(const ShownNumber&) = delete;
    ShownNumber& operator=(const ShownNumber&) = delete;

    // The program sets a value (clamped to the range already): a box that only shows values takes
    // it here and is drawn with it (a value showing the text shown already changes nothing, as
    // with the box's own setter); false: the caller sets it through the box's setter.
    bool Take(double value);
    // The box takes the value taken here before, as its own value and text.
    void Settle();
    // The program gives the box a style sheet; `rest` is the same sheet without the background
    // colour. A box that only shows values and was drawn with that sheet before, whose sheet in
    // effect has the same rest, is drawn as it was then.
    void SetSheet(const QString& sheet, const QString& rest);

protected:
    ShownNumber(QAbstractSpinBox* box, QLineEdit* edit);
    // From the box's paintEvent: true when the box was drawn here.
    bool Paint();

    virtual void Option(QStyleOptionSpinBox* o) const = 0;  // the box's style option
    virtual QString TextOf(double value) const = 0;         // the line edit's text for the value
    virtual void Assign(double value) = 0;                  // the box's own setter
    virtual double Value() const = 0;                       // the box's own value
    // The box took a value through its own setter: it is the newer one.
    void Forget();

private:
    class EditFilter;
    // What the drawing takes from the box's look, for one style sheet; made again when it changes.
    struct Look {
        bool valid = false;
        QSize size;
        QStyle::State state;
        qint64 palette = 0, editPalette = 0;
        int group = 0, editGroup = 0;
        qreal dpr = 1;
        QPoint editAt;  // the line edit in the box
        QSize editSize;
        QFont font;
        Qt::Alignment align;
        QPixmap frame;        // the box without its text, as the style draws it
        bool opaque = false;  // the frame covers every pixel of the box
        QRect contents;       // where the line edit draws its text, in its own coordinates
        QColor pen;
    };

    // A text laid out in the look's font, and where it goes in the line. A display shows few
    // texts over and over (a value that settles, one that jitters by a digit): the latest are kept.
    struct Laid {
        QString text;
        QList<QGlyphRun> runs;
        bool fits = false;
        QPoint origin;  // of the layout, relative to the line edit
    };

    bool ShowsOnly() const;
    // The box is drawn as ever from now: it takes what was taken here.
    void Release();
    void ApplySheet(const QString& sheet);
    bool Matches(const Look& look, const QStyleOptionSpinBox& opt, bool palettes) const;
    const Look& CurrentLook();
    // `text` laid out (kept for the texts shown lately); its `fits` is false when it does not fit
    // into the line.
    const Laid& Lay(const QString& text);
    // The text shown: the one taken, or the box's own.
    QString Shown();

    QAbstractSpinBox* box_;
    QPointer<QLineEdit> edit_;
    std::unique_ptr<EditFilter> filter_;
    Look look_;
    // the looks of the style sheets the box was drawn with lately, and the sheet taken, not yet
    // the box's own; the rest of the box's own sheet
    std::vector<std::pair<QString, Look>> looks_;
    std::optional<QString> sheet_;
    QString rest_;
    bool applying_ = false;  // the box takes a style sheet
    std::optional<double> pending_;  // taken, not yet the box's own value
    QString pendingText_;
    // the box's own text and value when the value was taken
    QString baseText_;
    double baseValue_ = 0;
    std::vector<Laid> laid_;  // the one used last at the back
    QTextLayout layout_;
    bool drawnHere_ = false;  // the last paint of the box drew the text too
    // the heights of the characters as texts of their own, in the look's font, when the font
    // engine measures texts so that these give the height of every text
    std::vector<std::pair<QChar, int>> heights_;
    QFont heightsFont_;
    bool byCharacters_ = false;
};

template <class Box>
class NumericBox : public Box, public ShownNumber {
public:
    explicit NumericBox(QWidget* parent) : Box(parent), ShownNumber(this, this->lineEdit()) {
        QObject::connect(this, &Box::valueChanged, this, [this] { Forget(); });
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        if (!Paint()) Box::paintEvent(e);
    }
    void Option(QStyleOptionSpinBox* o) const override { this->initStyleOption(o); }
    QString TextOf(double value) const override {
        const auto v = decltype(this->value())(value);
        if (v == this->minimum() && !this->specialValueText().isEmpty()) return this->specialValueText();
        return this->prefix() + this->textFromValue(v) + this->suffix();
    }
    void Assign(double value) override { this->setValue(decltype(this->value())(value)); }
    double Value() const override { return double(this->value()); }
};

// An integer numeric.
class IntSpinBox : public NumericBox<QSpinBox> {
public:
    explicit IntSpinBox(QWidget* parent) : NumericBox<QSpinBox>(parent) {}
};

// A real numeric: shows `digits` decimals but keeps the value as set.
class RealSpinBox : public NumericBox<QDoubleSpinBox> {
public:
    explicit RealSpinBox(QWidget* parent) : NumericBox<QDoubleSpinBox>(parent) {}
    int digits = 2;
    QString textFromValue(double value) const override { return locale().toString(value, 'f', digits); }
    // The shown text stands for the kept value: Enter without an edit changes nothing.
    double valueFromText(const QString& text) const override {
        const QString shown = textFromValue(value());
        if (text == shown || text == prefix() + shown + suffix()) return value();
        return QDoubleSpinBox::valueFromText(text);
    }
    void setDigits(int d) {
        Settle();
        digits = d;
        setSuffix(suffix());  // re-formats the shown text; the value stays
    }
};

}  // namespace kryta
