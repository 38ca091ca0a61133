#pragma once

#include <QScrollArea>
#include <QString>
#include <QVector>

#include <functional>

class QVBoxLayout;

namespace pixbar {

/// A panel of collapsible groups of full-width buttons with gradient fill and bold captions.
class CategoryButtons : public QScrollArea {
    Q_OBJECT
public:
    /// Paints over an item after the panel has drawn it (the font list draws its samples).
    using AfterDraw = std::function<void(QPainter&, const QRect&, int group, int item)>;

    explicit CategoryButtons(QWidget* parent = nullptr);

    int addGroup(const QString& caption);
    /// Adds a button to a group; returns its index within the group.
    int addItem(int group, const QString& caption, std::function<void()> onClick,
                const QString& hint = {});
    void setItemCaption(int group, int item, const QString& caption);
    QString itemCaption(int group, int item) const;
    void setAfterDraw(AfterDraw draw) { m_afterDraw = std::move(draw); }
    void setItemHeight(int group, int height);

    void setExpanded(int group, bool expanded);
    bool isExpanded(int group) const;
    void expandAll();
    int groupCount() const { return m_groups.size(); }
    int itemCount(int group) const { return m_groups[group].items.size(); }
    /// Runs the click of an item, as a press of its button would.
    void clickItem(int group, int item);
    /// Repaints every button (the font list follows the current font).
    void repaintButtons();

private:
    class Header;
    class Item;
    struct Group {
        Header* header = nullptr;
        QVector<Item*> items;
        bool expanded = true;
    };
    QWidget* m_content;
    QVBoxLayout* m_layout;
    QVector<Group> m_groups;
    AfterDraw m_afterDraw;
};

} // namespace pixbar
