// Numeric displays that draw themselves while they only show values (numericbox.h).
#include "platform/numericbox.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLine>
#include <QTextOption>

#include <algorithm>
#include <utility>

namespace kryta {

namespace {

// Room a line edit leaves around its line of text.
constexpr int kLineMarginX = 2;
constexpr int kLineMarginY = 1;
// Style sheets whose looks a display keeps (its colours: white, green and red).
constexpr size_t kKeptLooks = 4;
// Texts a display keeps laid out.
constexpr size_t kLaidTexts = 16;

bool Covers(const QImage& img) {
    if (!img.hasAlphaChannel()) return true;
    const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return true;
}

}  // namespace

// Watches the box and its line edit: the line edit draws nothing while the box drew its text,
// the focus hands what was taken to the box, and a change of the look has the frame drawn anew.
class ShownNumber::EditFilter : public QObject {
public:
    explicit EditFilter(ShownNumber* owner) : owner_(owner) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        const bool edit = watched == owner_->edit_;
        switch (e->type()) {
        case QEvent::Paint:
            if (edit && owner_->drawnHere_) return true;
            break;
        case QEvent::FocusIn:
            if (edit && owner_->box_->isReadOnly()) {
                owner_->Release();
                owner_->drawnHere_ = false;
                owner_->box_->update();
            }
            break;
        case QEvent::FocusOut:
            if (edit && owner_->box_->isReadOnly()) owner_->box_->update();
            break;
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
            // from elsewhere than a sheet the box takes: the looks kept may no longer hold
            owner_->look_.valid = false;
            if (!owner_->applying_) owner_->looks_.clear();
            break;
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::EnabledChange:
        case QEvent::ActivationChange:
        case QEvent::LayoutDirectionChange:
            // the box in another state takes the sheet it shows, to be drawn in that state
            owner_->look_.valid = false;
            if (owner_->sheet_) owner_->ApplySheet(*std::exchange(owner_->sheet_, std::nullopt));
            break;
        case QEvent::Polish:
            owner_->look_.valid = false;
            break;
        default:
            break;
        }
        return false;
    }

private:
    ShownNumber* owner_;
};

ShownNumber::ShownNumber(QAbstractSpinBox* box, QLineEdit* edit)
    : box_(box), edit_(edit), filter_(std::make_unique<EditFilter>(this)) {
    box_->installEventFilter(filter_.get());
    if (edit_) edit_->installEventFilter(filter_.get());
}

ShownNumber::~ShownNumber() = default;

bool ShownNumber::ShowsOnly() const {
    if (!edit_ || !box_->isReadOnly() || QAccessible::isActive()) return false;
    // the focus of its window, also while the window is inactive (a selection stays shown)
    const QWidget* focus = box_->window()->focusWidget();
    if (focus == edit_ || focus == box_) return false;
    return edit_->layoutDirection() == Qt::LeftToRight && edit_->echoMode() == QLineEdit::Normal &&
           !edit_->hasSelectedText();
}

void ShownNumber::Forget() { pending_.reset(); }

QString ShownNumber::Shown() {
    if (pending_ && edit_->displayText() != baseText_) {
        if (Value() != baseValue_) {
            pending_.reset();  // a value the box took through its own setter is the newer one
        } else {
            pendingText_ = TextOf(*pending_);  // the box formats its values anew
            baseText_ = edit_->displayText();
        }
    }
    return pending_ ? pendingText_ : edit_->displayText();
}

bool ShownNumber::Take(double value) {
    // a box whose frame lets what lies below show through is drawn as ever
    if (!ShowsOnly() || (look_.valid && !look_.opaque)) {
        Release();
        return false;
    }
    const QString shown = Shown();
    if (value == (pending_ ? *pending_ : Value())) return true;
    const QString text = TextOf(value);
    if (text == shown) return true;
    if (!pending_) {
        baseText_ = edit_->displayText();
        baseValue_ = Value();
    }
    pending_ = value;
    pendingText_ = text;
    box_->update(edit_->geometry());  // the frame stays
    return true;
}

void ShownNumber::Settle() {
    if (!pending_) return;
    const double v = *pending_;
    pending_.reset();
    if (Value() != baseValue_) return;  // the box holds a newer value
    QSignalBlocker block(box_);
    Assign(v);
}

void ShownNumber::Release() {
    Settle();
    if (sheet_) ApplySheet(*std::exchange(sheet_, std::nullopt));
}

void ShownNumber::ApplySheet(const QString& sheet) {
    applying_ = true;
    box_->setStyleSheet(sheet);
    applying_ = false;
}

void ShownNumber::SetSheet(const QString& sheet, const QString& rest) {
    const QString own = box_->styleSheet();
    if (sheet == (sheet_ ? *sheet_ : own)) return;
    if (ShowsOnly() && rest == rest_) {
        const auto kept = std::find_if(looks_.begin(), looks_.end(), [&](const auto& l) { return l.first == sheet; });
        QStyleOptionSpinBox opt;
        Option(&opt);
        if (kept != looks_.end() && kept->second.opaque && Matches(kept->second, opt, false)) {
            if (sheet == own)
                sheet_.reset();
            else
                sheet_ = sheet;
            const Look& look = kept->second;
            if (look.font != look_.font || look.contents != look_.contents || look.align != look_.align) laid_.clear();
            look_ = look;
            box_->update();
            return;
        }
    }
    sheet_.reset();
    rest_ = rest;
    if (own != sheet) ApplySheet(sheet);
}

bool ShownNumber::Matches(const Look& l, const QStyleOptionSpinBox& opt, bool palettes) const {
    if (!l.valid || l.size != box_->size() || l.state != opt.state || l.dpr != box_->devicePixelRatio() ||
        l.editAt != edit_->pos() || l.editSize != edit_->size() || l.font != edit_->font() ||
        l.align != edit_->alignment())
        return false;
    if (!palettes) return true;
    const QPalette& editPalette = edit_->palette();
    return l.palette == opt.palette.cacheKey() && l.group == int(opt.palette.currentColorGroup()) &&
           l.editPalette == editPalette.cacheKey() && l.editGroup == int(editPalette.currentColorGroup());
}

const ShownNumber::Look& ShownNumber::CurrentLook() {
    QStyleOptionSpinBox opt;
    Option(&opt);
    // a sheet taken is drawn from its look while that holds
    if (look_.valid && Matches(look_, opt, !sheet_)) return look_;
    if (sheet_) {
        ApplySheet(*std::exchange(sheet_, std::nullopt));
        Option(&opt);
    }
    const QPalette& editPalette = edit_->palette();
    const qreal dpr = box_->devicePixelRatio();

    Look l;
    l.valid = true;
    l.size = box_->size();
    l.state = opt.state;
    l.palette = opt.palette.cacheKey();
    l.group = int(opt.palette.currentColorGroup());
    l.editPalette = editPalette.cacheKey();
    l.editGroup = int(editPalette.currentColorGroup());
    l.dpr = dpr;
    l.editAt = edit_->pos();
    l.editSize = edit_->size();
    l.font = edit_->font();
    l.align = edit_->alignment();

    // the frame: what the box's own paintEvent draws, on a painter set up as for the box
    QPixmap frame((QSizeF(l.size) * dpr).toSize());
    frame.setDevicePixelRatio(dpr);
    frame.fill(Qt::transparent);
    {
        QPainter p(&frame);
        const QPalette& pal = box_->palette();
        p.setPen(QPen(pal.brush(box_->foregroundRole()), 1));
        p.setBackground(pal.brush(box_->backgroundRole()));
        p.setFont(box_->font());
        box_->style()->drawComplexControl(QStyle::CC_SpinBox, &opt, &p, box_);
    }
    QImage img = frame.toImage();
    l.opaque = Covers(img);
    if (l.opaque) {
        l.frame = QPixmap::fromImage(img.convertToFormat(QImage::Format_RGB32));
        l.frame.setDevicePixelRatio(dpr);
    }

    // where the line edit puts its text
    QStyleOptionFrame fo;
    fo.initFrom(edit_);
    fo.rect = edit_->contentsRect();
    fo.lineWidth = edit_->hasFrame() ? edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &fo, edit_) : 0;
    fo.midLineWidth = 0;
    fo.state |= QStyle::State_Sunken;
    if (edit_->isReadOnly()) fo.state |= QStyle::State_ReadOnly;
    fo.features = QStyleOptionFrame::None;
    l.contents = edit_->style()->subElementRect(QStyle::SE_LineEditContents, &fo, edit_);
    l.contents = l.contents.marginsRemoved(edit_->textMargins());
    l.pen = editPalette.text().color();

    // a frame that no longer covers the box lets what lies below show again
    const bool wasOpaque = box_->testAttribute(Qt::WA_OpaquePaintEvent);
    box_->setAttribute(Qt::WA_OpaquePaintEvent, l.opaque);
    if (wasOpaque && !l.opaque && box_->parentWidget()) box_->parentWidget()->update(box_->geometry());

    look_ = std::move(l);
    laid_.clear();
    const QString sheet = box_->styleSheet();
    const auto kept = std::find_if(looks_.begin(), looks_.end(), [&](const auto& k) { return k.first == sheet; });
    if (kept != looks_.end()) {
        kept->second = look_;
    } else {
        if (looks_.size() >= kKeptLooks) looks_.erase(looks_.begin());
        looks_.emplace_back(sheet, look_);
    }
    return look_;
}

const ShownNumber::Laid& ShownNumber::Lay(const QString& text) {
    const auto kept = std::find_if(laid_.rbegin(), laid_.rend(), [&](const Laid& l) { return l.text == text; });
    if (kept != laid_.rend()) {
        std::rotate(kept.base() - 1, kept.base(), laid_.end());
        return laid_.back();
    }
    if (laid_.size() >= kLaidTexts) laid_.erase(laid_.begin());
    Laid& laid = laid_.emplace_back();
    laid.text = text;
    layout_.setText(text);
    layout_.setFont(look_.font);
    layout_.setCacheEnabled(true);
    QTextOption option = layout_.textOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout_.setTextOption(option);
    layout_.clearLayout();
    layout_.beginLayout();
    QTextLine line = layout_.createLine();
    layout_.endLayout();
    const int ascent = qRound(line.ascent());
    laid.runs = line.glyphRuns();

    // the line's height: the font's, or the text's where that is taller. A font engine that
    // measures a text by the ascent and descent of the fonts its characters take (FreeType's)
    // gives it the height of its tallest character, each measured once; one that measures the
    // ink, where a text reaches above and below its characters' own heights, measures each text.
    const QFontMetrics fm(look_.font);
    if (heightsFont_ != look_.font) {
        heights_.clear();
        heightsFont_ = look_.font;
        const int high = fm.boundingRect(QStringLiteral("A")).height();
        const int low = fm.boundingRect(QStringLiteral(",")).height();
        byCharacters_ = fm.boundingRect(QStringLiteral("A,")).height() == std::max(high, low);
    }
    int height = fm.height();
    if (!byCharacters_) {
        height = std::max(height, fm.boundingRect(text).height());
    } else {
        for (const QChar ch : text) {
            auto known = std::find_if(heights_.begin(), heights_.end(), [ch](const auto& h) { return h.first == ch; });
            if (known == heights_.end()) {
                if (heights_.size() >= 256) heights_.clear();
                heights_.emplace_back(ch, fm.boundingRect(QString(ch)).height());
                known = heights_.end() - 1;
            }
            height = std::max(height, known->second);
        }
    }
    const QRect& r = look_.contents;
    int top = r.y() + (r.height() - height + 1) / 2;
    switch (look_.align & Qt::AlignVertical_Mask) {
    case Qt::AlignTop: top = r.y() + kLineMarginY; break;
    case Qt::AlignBottom: top = r.y() + r.height() - height - kLineMarginY; break;
    default: break;
    }
    const QRect lineRect(r.x() + kLineMarginX, top, r.width() - 2 * kLineMarginX, height);
    const int used = qRound(line.naturalTextWidth()) + 1;
    // text wider than its line scrolls with the cursor: the line edit draws it
    laid.fits = used <= lineRect.width() && !text.isEmpty();
    int scroll = 0;
    switch (QStyle::visualAlignment(Qt::LeftToRight, look_.align) & ~(Qt::AlignAbsolute | Qt::AlignVertical_Mask)) {
    case Qt::AlignRight: scroll = used - lineRect.width() + 1; break;
    case Qt::AlignHCenter: scroll = (used - lineRect.width()) / 2; break;
    default: break;
    }
    laid.origin = lineRect.topLeft() - QPoint(scroll, ascent - fm.ascent());
    return laid;
}

bool ShownNumber::Paint() {
    drawnHere_ = false;
    if (!ShowsOnly()) {
        Release();
        return false;
    }
    const Look& look = CurrentLook();
    const Laid* laid = look.opaque ? &Lay(Shown()) : nullptr;
    if (!laid || !laid->fits) {
        Release();
        return false;
    }
    QPainter p(box_);
    p.drawPixmap(0, 0, look.frame);
    const QRect clip = look.contents.translated(look.editAt);
    p.setClipRect(clip);
    p.setPen(look.pen);
    const QPointF at(laid->origin + look.editAt);
    for (const QGlyphRun& run : laid->runs) p.drawGlyphRun(at, run);
    drawnHere_ = true;
    return true;
}

}  // namespace kryta
