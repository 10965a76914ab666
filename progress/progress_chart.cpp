#include "progress_chart.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>

QString pointFigures(const ChartPoint &point, bool byDay)
{
    const QString when = byDay
        ? point.when.toString("yyyy-MM-dd") + QStringLiteral("，%1 次练习").arg(point.runs)
        : point.when.toString("yyyy-MM-dd HH:mm");
    const int random = point.runs - point.weakRuns;
    const QString mode = point.weakRuns == 0 ? QStringLiteral("随机")
        : random <= 0
        ? QStringLiteral("薄弱字母")
        : QStringLiteral("随机 %1 次，薄弱字母 %2 次").arg(random).arg(point.weakRuns);
    return QStringLiteral("%1\n速度 %2 字/分\n正确率 %3 %\n按键 %4\n方式 %5")
        .arg(when)
        .arg(point.speed, 0, 'f', 0)
        .arg(point.accuracy, 0, 'f', 1)
        .arg(point.keys)
        .arg(mode);
}

ProgressChart::ProgressChart(QWidget *parent)
    // Given at construction: a chart set later replaces a default one that then nobody owns.
    : QChartView(new QChart, parent)
    , m_speed(new QLineSeries)
    , m_accuracy(new QLineSeries)
    , m_time(new QDateTimeAxis)
    , m_speedAxis(new QValueAxis)
    , m_accuracyAxis(new QValueAxis)
{
    QChart *chart = this->chart();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    m_speed->setName(QStringLiteral("速度（字/分）"));
    m_accuracy->setName(QStringLiteral("正确率（%）"));
    for (QLineSeries *series : {m_speed, m_accuracy}) {
        series->setPointsVisible(true);
        chart->addSeries(series);
        connect(series, &QLineSeries::hovered, this, &ProgressChart::showFigures);
    }
    m_speedAxis->setTitleText(QStringLiteral("字/分"));
    m_speedAxis->setLabelFormat("%d");
    m_accuracyAxis->setTitleText(QStringLiteral("%"));
    m_accuracyAxis->setRange(0, 100);
    m_accuracyAxis->setLabelFormat("%d");
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_speedAxis, Qt::AlignLeft);
    chart->addAxis(m_accuracyAxis, Qt::AlignRight);
    m_speed->attachAxis(m_time);
    m_speed->attachAxis(m_speedAxis);
    m_accuracy->attachAxis(m_time);
    m_accuracy->attachAxis(m_accuracyAxis);
    setRenderHint(QPainter::Antialiasing);
    setAccessibleName(QStringLiteral("速度和正确率图"));
}

void ProgressChart::setPoints(const QList<ChartPoint> &points, bool byDay)
{
    m_points = points;
    m_byDay = byDay;
    QList<QPointF> speeds;
    QList<QPointF> accuracies;
    double fastest = 0;
    for (const ChartPoint &point : points) {
        const double x = double(point.when.toMSecsSinceEpoch());
        speeds.append({x, point.speed});
        accuracies.append({x, point.accuracy});
        fastest = std::max(fastest, point.speed);
    }
    m_speed->replace(speeds);
    m_accuracy->replace(accuracies);
    if (!points.isEmpty()) {
        // A lone point still gets a day's width of axis around it.
        const QDateTime first = points.first().when;
        const QDateTime last = points.last().when;
        const qint64 margin = std::max<qint64>(first.msecsTo(last) / 20, 12 * 3600 * 1000);
        m_time->setRange(first.addMSecs(-margin), last.addMSecs(margin));
        m_time->setFormat(first.daysTo(last) > 2 ? "MM-dd" : "MM-dd HH:mm");
    }
    m_speedAxis->setRange(0, std::max(10.0, fastest * 1.1));
    m_speedAxis->applyNiceNumbers();
}

void ProgressChart::showFigures(const QPointF &point, bool hovering)
{
    if (!hovering || m_points.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    const auto nearest = std::min_element(
        m_points.begin(), m_points.end(), [&point](const ChartPoint &a, const ChartPoint &b) {
            return std::abs(double(a.when.toMSecsSinceEpoch()) - point.x())
                < std::abs(double(b.when.toMSecsSinceEpoch()) - point.x());
        });
    QToolTip::showText(QCursor::pos(), pointFigures(*nearest, m_byDay), this);
}
