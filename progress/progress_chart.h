#pragma once

#include "progress_data.h"

#include <QChartView>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// What the chart's tooltip says of a point: its time (or day and runs), speed, accuracy, keys and
// how its runs were practised.
QString pointFigures(const ChartPoint &point, bool byDay);

// Speed (字/分, left axis) and accuracy (%, right axis) over time, one point per run or per day;
// hovering a point shows its figures.
class ProgressChart : public QChartView
{
    Q_OBJECT

public:
    explicit ProgressChart(QWidget *parent = nullptr);

    // Replaces the points in place, so the chart does not flicker.
    void setPoints(const QList<ChartPoint> &points, bool byDay);

private:
    void showFigures(const QPointF &point, bool hovering);

    QLineSeries *m_speed;
    QLineSeries *m_accuracy;
    QDateTimeAxis *m_time;
    QValueAxis *m_speedAxis;
    QValueAxis *m_accuracyAxis;
    QList<ChartPoint> m_points;
    bool m_byDay = false;
};
