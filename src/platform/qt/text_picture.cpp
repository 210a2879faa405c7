#include "text_picture.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRawFont>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <optional>

#include "paint_bands.h"

namespace kxqt {
namespace {

// A box's picture is its child of this name.
const QString PICTURE_NAME = QStringLiteral("kx text picture");

// Places on the line and the page are counted in 64ths of a pixel, as Qt's
// text layout counts them.
constexpr int SUBPIXELS = 64;
// The characters a picture shows, from the space on.
constexpr char16_t FIRST_PRINTABLE = 0x20, PAST_PRINTABLE = 0x7F;

int whole_pixels(int subpixels) { return subpixels / SUBPIXELS; }

class TextPicture : public QObject {
  public:
    explicit TextPicture(QPlainTextEdit* box) : QObject(box), box_(box) {
        setObjectName(PICTURE_NAME);
        box->installEventFilter(this);
        box->viewport()->installEventFilter(this);
    }

    bool show(const QString& text) {
        Look now = look_now();
        if (shows_alike() && printable(text) && now.fits() && measure(now.font)) {
            if (!showing_ || !(now == look_)) start(now);
            draw(text);
            text_ = text;
            return true;
        }
        leave();
        return false;
    }

    bool showing() const { return showing_; }
    const QString& text() const { return text_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!showing_) return false;
        switch (event->type()) {
        case QEvent::Paint:
            if (watched != box_->viewport()) return false;
            paint(static_cast<QPaintEvent*>(event)->region());
            return true;
        // The operator reaches for the text: the document gets it first. A
        // context menu or a double click comes after a press or the focus.
        case QEvent::FocusIn:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel: settle(); return false;
        case QEvent::Resize:
        case QEvent::EnabledChange:
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange: refit(); return false;
        default: return false;
        }
    }

  private:
    // What the picture depends on.
    struct Look {
        QFont font;
        QRgb base = 0, ink = 0;
        QSize size;
        qreal margin = 0.0, pixel_ratio = 1.0;
        bool solid = false;
        bool operator==(const Look&) const = default;
        bool fits() const { return solid && pixel_ratio == 1.0 && !size.isEmpty(); }
    };

    Look look_now() const {
        QWidget* viewport = box_->viewport();
        const QBrush& ground = viewport->palette().brush(viewport->backgroundRole());
        Look look;
        look.font = box_->font();
        look.base = ground.color().rgba();
        look.ink = box_->palette().color(QPalette::Text).rgba();
        look.size = viewport->size();
        look.margin = box_->document()->documentMargin();
        look.pixel_ratio = viewport->devicePixelRatioF();
        look.solid = ground.style() == Qt::SolidPattern && ground.isOpaque();
        return look;
    }

    // Whether the box would draw its text as the picture does: from its
    // top left, unscrolled, unwrapped and without a cursor.
    bool shows_alike() const {
        return box_->isReadOnly() && box_->lineWrapMode() == QPlainTextEdit::NoWrap &&
               !box_->hasFocus() && box_->horizontalScrollBar()->value() == 0 &&
               box_->verticalScrollBar()->value() == 0;
    }

    static bool printable(const QString& text) {
        return std::all_of(text.begin(), text.end(), [](QChar c) {
            return c == QLatin1Char('\n') ||
                   (c.unicode() >= FIRST_PRINTABLE && c.unicode() < PAST_PRINTABLE);
        });
    }

    // Lays out a line as the box's document does, in `font`, and finds the
    // glyphs of the printable characters; false when these are not all of
    // one width, side by side.
    bool measure(const QFont& font) {
        if (measured_ && font == *measured_) return advance_ > 0;
        measured_ = font;
        QTextLayout probe(QStringLiteral("00"), font);
        probe.beginLayout();
        QTextLine line = probe.createLine();
        line.setLeadingIncluded(true);
        probe.endLayout();
        QList<QGlyphRun> runs = probe.glyphRuns();
        QList<QPointF> places = runs.isEmpty() ? QList<QPointF>() : runs[0].positions();
        advance_ = places.size() == 2 ? qRound((places[1].x() - places[0].x()) * SUBPIXELS) : 0;
        line_height_ = qRound(line.height() * SUBPIXELS);
        ascent_ = qRound(line.ascent() * SUBPIXELS);
        glyph_font_ = runs.isEmpty() ? QRawFont() : runs[0].rawFont();
        QString all;
        for (char16_t c = FIRST_PRINTABLE; c < PAST_PRINTABLE; ++c)
            all += QChar(c);
        glyphs_ = glyph_font_.glyphIndexesForString(all);
        if (glyphs_.size() != all.size() ||
            qRound(QFontMetricsF(font).horizontalAdvance(all) * SUBPIXELS) != all.size() * advance_)
            advance_ = 0;
        return advance_ > 0;
    }

    // A fresh picture of the box's ground.
    void start(const Look& look) {
        look_ = look;
        margin_ = qRound(look.margin * SUBPIXELS);
        picture_ = QImage(look.size, QImage::Format_RGB32);
        picture_.fill(look.base);
        lines_.clear();
        if (!showing_) box_->viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
        showing_ = true;
    }

    // Leaves the box to show its text itself.
    void leave() {
        if (!showing_) return;
        showing_ = false;
        box_->viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
        picture_ = QImage();
        lines_.clear();
    }

    // The document takes the text shown, and the box shows it itself.
    void settle() {
        leave();
        box_->setPlainText(text_);
    }

    void refit() {
        Look now = look_now();
        if (!now.fits() || !measure(now.font))
            settle();
        else if (!(now == look_)) {
            start(now);
            draw(text_);
        }
    }

    // Draws the lines that changed, as glyphs placed as the box's layout
    // places them: no line is laid out.
    void draw(const QString& text) {
        QStringList lines = text.split(QLatin1Char('\n'));
        int count = static_cast<int>(std::max(lines.size(), lines_.size()));
        QPainter painter(&picture_);
        painter.setPen(QColor::fromRgba(look_.ink));
        QRegion changed;
        for (int k = 0; k < count; ++k) {
            QString line = k < lines.size() ? lines[k] : QString();
            if (k < lines_.size() && lines_[k] == line) continue;
            int top = margin_ + k * line_height_;
            QRect band(0, whole_pixels(top), picture_.width(),
                       whole_pixels(top + line_height_) - whole_pixels(top));
            band &= picture_.rect();
            if (band.isEmpty()) break;
            clear(band);
            painter.drawGlyphRun(QPointF(), glyph_run(line, top + ascent_));
            changed += band;
        }
        lines_ = lines;
        box_->viewport()->update(changed);
    }

    QGlyphRun glyph_run(const QString& line, int baseline) {
        QList<quint32> glyphs;
        QList<QPointF> places;
        for (int i = 0; i < line.size(); ++i) {
            int x = margin_ + i * advance_;
            if (whole_pixels(x) >= picture_.width()) break;
            glyphs.append(glyphs_[line[i].unicode() - FIRST_PRINTABLE]);
            places.append(QPointF(x / double(SUBPIXELS), baseline / double(SUBPIXELS)));
        }
        QGlyphRun run;
        run.setRawFont(glyph_font_);
        run.setGlyphIndexes(glyphs);
        run.setPositions(places);
        return run;
    }

    // Fills `band` with the ground by hand: a painter's fill of a large
    // area goes to Qt's thread pool (paint_bands.h).
    void clear(const QRect& band) {
        for (int y = band.top(); y <= band.bottom(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            std::fill(row + band.left(), row + band.right() + 1, look_.base);
        }
    }

    void paint(const QRegion& region) {
        QPainter painter(box_->viewport());
        for (const QRect& area : region)
            paint_in_bands(painter, area,
                           [&] { painter.drawImage(area.topLeft(), picture_, area); });
    }

    QPlainTextEdit* box_;
    bool showing_ = false;
    QString text_;
    Look look_;
    std::optional<QFont> measured_; // the font of the layout below
    // The layout, in 64ths of a pixel.
    int advance_ = 0, line_height_ = 0, ascent_ = 0, margin_ = 0;
    QImage picture_;
    QStringList lines_; // as the picture shows them
    // The font's glyphs of the printable characters.
    QRawFont glyph_font_;
    QList<quint32> glyphs_;
};

TextPicture* picture_of(const QPlainTextEdit* box) {
    return static_cast<TextPicture*>(
        box->findChild<QObject*>(PICTURE_NAME, Qt::FindDirectChildrenOnly));
}

} // namespace

bool show_as_picture(QPlainTextEdit* box, const QString& text) {
    TextPicture* picture = picture_of(box);
    if (!picture) picture = new TextPicture(box);
    return picture->show(text);
}

QString text_shown(const QPlainTextEdit* box) {
    const TextPicture* picture = picture_of(box);
    return picture && picture->showing() ? picture->text() : box->toPlainText();
}

} // namespace kxqt
