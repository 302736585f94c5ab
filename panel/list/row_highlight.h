#pragma once

#include <QObject>
#include <QUuid>
#include <QVariantAnimation>

#include <optional>

// Which row carries the accent highlight, and how far a change of it has
// faded: the old row fades out while the new one fades in.
class RowHighlight : public QObject
{
    Q_OBJECT
public:
    static constexpr int durationMs = 150;

    explicit RowHighlight(QObject *parent = nullptr);

    void setActiveId(const std::optional<QUuid> &id, bool animated);
    // 1 for the active row once settled, 0 for every other row.
    qreal factor(const QUuid &id) const;

signals:
    void changed();

private:
    std::optional<QUuid> m_current;
    std::optional<QUuid> m_previous;
    qreal m_progress = 1;
    QVariantAnimation m_animation;
};
