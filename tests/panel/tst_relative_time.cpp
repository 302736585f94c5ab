#include "inspector/relative_time.h"

#include <QTest>

class TestRelativeTime : public QObject
{
    Q_OBJECT

private slots:
    void units_data()
    {
        QTest::addColumn<double>("offset"); // then - now, seconds
        QTest::addColumn<QString>("expected");

        const double day = 86400;
        QTest::newRow("now") << 0.0 << "0 sec. ago";
        QTest::newRow("fraction of a second") << -0.4 << "0 sec. ago";
        QTest::newRow("seconds") << -59.0 << "59 sec. ago";
        QTest::newRow("minute boundary") << -60.0 << "1 min. ago";
        QTest::newRow("minutes round down") << -119.0 << "1 min. ago";
        QTest::newRow("hours") << -3.5 * 3600 << "3 hr. ago";
        QTest::newRow("days") << -2 * day << "2 days ago";
        QTest::newRow("weeks") << -15 * day << "2 wk. ago";
        QTest::newRow("months") << -65 * day << "2 mo. ago";
        QTest::newRow("years") << -800 * day << "2 yr. ago";
        QTest::newRow("future") << 300.0 << "in 5 min.";
    }

    void units()
    {
        QFETCH(double, offset);
        QFETCH(QString, expected);
        const TimeInterval now = 800000000;
        QCOMPARE(relativeTimeText(now + offset, now, QStringLiteral("en_US")), expected);
    }
};

QTEST_GUILESS_MAIN(TestRelativeTime)
#include "tst_relative_time.moc"
