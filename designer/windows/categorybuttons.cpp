#include "categorybuttons.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace pixbar {

class CategoryButtons::Header : public QAbstractButton {
public:
    Header(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
        setText(caption);
        setFixedHeight(20);
        setCursor(Qt::PointingHandCursor);
    }
    bool expanded = true;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(250, 250, 250));
        g.setColorAt(1, QColor(200, 200, 205));
        p.fillRect(rect(), g);
        p.setPen(QColor(120, 120, 130));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        // The collapse sign: a minus in a box, with a vertical bar when collapsed.
        const QRect box(5, height() / 2 - 4, 9, 9);
        p.drawRect(box);
        p.setPen(Qt::black);
        p.drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
        if (!expanded)
            p.drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        if (!isEnabled()) p.setPen(palette().color(QPalette::Disabled, QPalette::ButtonText));
        p.drawText(rect().adjusted(20, 0, 0, 0),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
    }
};

class CategoryButtons::Item : public QAbstractButton {
public:
    Item(CategoryButtons* panel, int group, int index, QWidget* parent)
        : QAbstractButton(parent), m_panel(panel), m_group(group), m_index(index) {
        setFixedHeight(24);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, 0, height());
        // A disabled button (or one in a disabled window) neither lights up nor looks live.
        const bool enabled = isEnabled();
        const bool hot = enabled && (underMouse() || isDown());
        g.setColorAt(0, hot ? QColor(255, 248, 220) : QColor(255, 255, 255));
        g.setColorAt(1, hot        ? QColor(240, 210, 140)
                        : enabled ? QColor(215, 222, 232)
                                  : QColor(232, 232, 232));
        p.fillRect(rect(), g);
        p.setPen(QColor(160, 170, 185));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        if (!text().isEmpty()) {
            QFont f = font();
            f.setBold(true);
            p.setFont(f);
            p.setPen(enabled ? QColor(Qt::black) : palette().color(QPalette::Disabled,
                                                                      QPalette::ButtonText));
            // "&Z" is an access key (the button's shortcut): Z is shown underlined.
            p.drawText(rect().adjusted(8, 0, -4, 0),
                       Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap |
                           Qt::TextShowMnemonic,
                       text());
        }
        if (m_panel->m_afterDraw) m_panel->m_afterDraw(p, rect(), m_group, m_index);
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) update();
        QAbstractButton::changeEvent(event);
    }

private:
    CategoryButtons* m_panel;
    int m_group;
    int m_index;
};

CategoryButtons::CategoryButtons(QWidget* parent)
    : QScrollArea(parent), m_content(new QWidget), m_layout(new QVBoxLayout(m_content)) {
    setObjectName(QStringLiteral("CategoryButtons1"));
    m_layout->setContentsMargins(2, 2, 2, 2);
    m_layout->setSpacing(1);
    m_layout->addStretch(1);
    setWidget(m_content);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int CategoryButtons::addGroup(const QString& caption) {
    Group group;
    group.header = new Header(caption, m_content);
    const int index = m_groups.size();
    connect(group.header, &QAbstractButton::clicked, this,
            [this, index] { setExpanded(index, !isExpanded(index)); });
    m_layout->insertWidget(m_layout->count() - 1, group.header);
    m_groups.push_back(group);
    return index;
}

int CategoryButtons::addItem(int group, const QString& caption, std::function<void()> onClick,
                             const QString& hint) {
    Group& g = m_groups[group];
    auto* item = new Item(this, group, g.items.size(), m_content);
    item->setText(caption);
    item->setToolTip(hint);
    if (onClick) connect(item, &QAbstractButton::clicked, this, [onClick] { onClick(); });
    // Items go right after the last item of their group (or its header).
    QWidget* after = g.items.isEmpty() ? static_cast<QWidget*>(g.header) : g.items.back();
    m_layout->insertWidget(m_layout->indexOf(after) + 1, item);
    item->setVisible(g.expanded);
    g.items.push_back(item);
    return g.items.size() - 1;
}

void CategoryButtons::setItemCaption(int group, int item, const QString& caption) {
    m_groups[group].items[item]->setText(caption);
    m_groups[group].items[item]->update();
}

QString CategoryButtons::itemCaption(int group, int item) const {
    return m_groups[group].items[item]->text();
}

void CategoryButtons::setItemHeight(int group, int height) {
    for (Item* item : m_groups[group].items) item->setFixedHeight(height);
}

void CategoryButtons::setExpanded(int group, bool expanded) {
    Group& g = m_groups[group];
    g.expanded = expanded;
    g.header->expanded = expanded;
    g.header->update();
    for (Item* item : g.items) item->setVisible(expanded);
}

bool CategoryButtons::isExpanded(int group) const {
    return m_groups[group].expanded;
}

void CategoryButtons::expandAll() {
    for (int i = 0; i < m_groups.size(); ++i)
        if (!m_groups[i].expanded) setExpanded(i, true);
}

void CategoryButtons::clickItem(int group, int item) {
    m_groups[group].items[item]->click();
}

void CategoryButtons::repaintButtons() {
    for (const Group& g : m_groups)
        for (Item* item : g.items) item->update();
}

} // namespace pixbar
