// A label of fixed width that shows as much of its text as fits and ends a
// cut text in "…"; text() stays the whole text. Texts that come from the
// board or the settings then never resize the window that shows them.
#pragma once

#include <QLabel>

namespace kestrane::ui {

class FittedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit FittedLabel(QWidget* parent);

    // The text as drawn at the current width.
    QString shownText() const;
    // Whether the whole text does not fit and is shown cut.
    bool isElided() const { return shownText() != text(); }

    // The width of `chars` characters of the widest glyph among `glyphs`
    // (empty: every printable ASCII character) in `metrics`: a column that
    // holds any such text of that length.
    static int WidthForChars(const QFontMetrics& metrics, int chars, const QString& glyphs = QString());
    // Fixes the label's width to hold any such text in its own font.
    void setWidthForChars(int chars, const QString& glyphs = QString());

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrane::ui
