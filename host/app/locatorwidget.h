#pragma once

#include <locator/ilocatorfilter.h>

#include <QLineEdit>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QListWidget;
QT_END_NAMESPACE

namespace Workbench {

// The locator field. The first word of the text chooses the filter whose prefix it is
// ("tfs check" asks the "tfs" filter for "check"); text without a known prefix is offered
// to every filter. Disabled filters are not asked. The matches are listed under the field;
// Return accepts the selected one.
class LocatorWidget : public QLineEdit
{
    Q_OBJECT
public:
    // The list of matches is a child of 'overlayParent', drawn over it next to the field.
    explicit LocatorWidget(QWidget *overlayParent);

    // The matches for 'text' as the filters answer now.
    static QList<Locator::LocatorFilterEntry> matchesFor(const QString &text);

    QList<Locator::LocatorFilterEntry> currentMatches() const { return m_entries; }
    // Accepts the match at 'row' of the current text; false when there is none.
    bool acceptMatch(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateMatches();
    void placeList();

    QPointer<QWidget> m_overlayParent;
    QListWidget *m_list;
    QList<Locator::LocatorFilterEntry> m_entries;
};

} // namespace Workbench
