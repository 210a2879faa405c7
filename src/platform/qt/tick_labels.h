// Axis tickers that format a tick's label once. A strip chart's x axis
// moves at every frame, so its ticks are placed again at every replot, but
// they come back at the same values, and a time of day's text costs more
// than drawing it (drawn labels are cached by their text).
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <map>
#include <tuple>

namespace kxqt {

template <class Ticker> class LabelsOnce : public Ticker {
  public:
    using Ticker::Ticker;

  protected:
    QString getTickLabel(double tick, const QLocale& locale, QChar format_char,
                         int precision) override {
        Key key{tick, format_char, precision, locale.name()};
        auto found = labels_.find(key);
        if (found != labels_.end()) return found->second;
        // Ticks of places the axis has left are not asked again.
        if (labels_.size() >= MOST) labels_.clear();
        return labels_[key] = Ticker::getTickLabel(tick, locale, format_char, precision);
    }

    // For a ticker whose labels change with more than these.
    void forget_labels() { labels_.clear(); }

  private:
    static constexpr std::size_t MOST = 256;
    using Key = std::tuple<double, QChar, int, QString>;
    std::map<Key, QString> labels_;
};

} // namespace kxqt
