#include "inspector/empty_state_view.h"
#include "inspector/view.h"
#include "inspector/relative_time.h"
#include "inspector/text_pane.h"
#include "list/history_list_view.h"
#include "list/history_row_delegate.h"
#include "list/row_highlight.h"
#include "panel_test_support.h"
#include "panel_view.h"
#include "style/named_colors.h"
#include "style/panel_menu.h"
#include "top_bar/filter_chip.h"
#include "top_bar/options_button.h"
#include "top_bar/search_field.h"
#include "top_bar/top_bar.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using namespace PanelTest;

namespace {

bool near(const QColor &a, const QColor &b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Counts pixels in rect that are close to color.
int countNear(const QImage &image, const QRect &rect, const QColor &color, int tolerance = 40)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.rect().contains(x, y) && near(image.pixelColor(x, y), color, tolerance))
                ++n;
    return n;
}

// Pixels in rect (inside the image) that stand out from the background.
int inkPixels(const QImage &image, const QRect &rect, const QColor &background)
{
    return rect.width() * rect.height() - countNear(image, rect, background, 50);
}

// A shown panel over a store of chosen items; beforeShow may change the
// state of the panel not yet shown.
struct Panel : Rig
{
    explicit Panel(const QList<ClipItemPtr> &items, const std::function<void(PanelState &)> &beforeShow = {})
        : Rig(items), view(services, onDismiss())
    {
        if (beforeShow)
            beforeShow(view.state());
        QCursor::setPos(5000, 5000); // off the panel until a test moves it
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        settle();
    }
    // Runs queued refreshes and lets highlight fades finish.
    void settle() const { QTest::qWait(RowHighlight::durationMs + 60); }
    PanelState &state() { return view.state(); }
    HistoryListView *list() const { return view.historyList(); }
    QList<ClipItemPtr> rows() { return state().filteredItems(); }
    QImage grabList() const { return list()->viewport()->grab().toImage(); }
    QRect rowRect(int row) { return list()->rowRectFor(rows()[row]->id()); }
    QPoint rowCentre(int row) { return rowRect(row).center(); }
    QRect pinRect(int row) { return HistoryRowDelegate::pinRect(rowRect(row)); }
    // Offscreen, synthetic enter and leave events follow QCursor, so the
    // cursor moves along with the event.
    void hover(const QPoint &pos) const
    {
        QWidget *viewport = list()->viewport();
        QCursor::setPos(viewport->mapToGlobal(pos));
        QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    }
    QColor accent() const { return NamedColors::accent(list()->palette()); }

    TavorindleView view;
};

} // namespace

class TestPanelView : public QObject
{
    Q_OBJECT

private slots:
    // The first show starts from the top; the field, its clear button and
    // the chips follow the state both ways.
    void topBarFollowsState()
    {
        Panel panel(textRows(3), [](PanelState &state) {
            state.setSearchText(QStringLiteral("row 2"));
            state.setSelectedFilter(FilterCategory::Pinned);
        });
        SearchField *field = panel.view.topBar()->searchField();
        QCOMPARE(field->text(), QString());
        QCOMPARE(panel.state().selectedFilter(), FilterCategory::All);
        QCOMPARE(panel.state().selectedItemId(), panel.rows().first()->id());
        QVERIFY(!field->clearButton()->isVisible());

        QTest::keyClicks(field->lineEdit(), QStringLiteral("row 2"));
        QVERIFY(field->clearButton()->isVisible());
        QCOMPARE(panel.rows().size(), 1);
        QTest::mouseClick(field->clearButton(), Qt::LeftButton);
        QCOMPARE(panel.state().searchText(), QString());
        QCOMPARE(field->text(), QString());
        QVERIFY(!field->clearButton()->isVisible());

        // A chip chosen again stays chosen; only it is drawn in the accent.
        // Choosing one never moves a chip.
        TopBar *bar = panel.view.topBar();
        const auto places = [&] {
            QList<QRect> rects;
            for (FilterCategory category : allFilterCategories)
                rects << bar->chip(category)->geometry();
            return rects;
        };
        const QList<QRect> before = places();
        QTest::mouseClick(bar->chip(FilterCategory::Code), Qt::LeftButton);
        QTest::mouseClick(bar->chip(FilterCategory::Code), Qt::LeftButton);
        QCOMPARE(panel.state().selectedFilter(), FilterCategory::Code);
        QCoreApplication::processEvents(); // a pending relayout
        QCOMPARE(places(), before);
        for (FilterCategory category : allFilterCategories) {
            FilterChip *chip = bar->chip(category);
            QCOMPARE(chip->isSelectedChip(), category == FilterCategory::Code);
            const QColor left = chip->grab().toImage().pixelColor(2, chip->height() / 2);
            QCOMPARE(near(left, panel.accent()), category == FilterCategory::Code);
        }
    }

    void optionsAndRowMenus()
    {
        Panel panel(textRows(5, 2)); // rows 1 and 3 pinned, listed first
        // The entries as drawn: "&&" shows "&", a lone "&" marks the next letter.
        const auto titlesOf = [](QMenu &menu) {
            QStringList titles;
            for (const QAction *action : menu.actions())
                titles << (action->isSeparator() ? QStringLiteral("-") : action->iconText());
            return titles;
        };
        QMenu *options = panel.view.topBar()->optionsButton()->optionsMenu();
        QCOMPARE(titlesOf(*options), (QStringList{"Clear Unpinned History", "-", "Website & Documentation", "-",
                                                  "Quit Tavorindle"}));
        options->actions()[2]->trigger();
        QCOMPARE(panel.opened, QList<QUrl>{productWebsite()});
        options->actions()[4]->trigger();
        QCOMPARE(panel.quits, 1);

        const ClipItemPtr item = panel.rows()[2];
        std::unique_ptr<QMenu> menu(panel.list()->createContextMenu(item, nullptr));
        QCOMPARE(titlesOf(*menu), (QStringList{"Paste", "Pin Snippet", "Copy to Clipboard", "-", "Delete"}));
        menu->actions()[2]->trigger();
        QCOMPARE(panel.store.pasteboard->writes(), QStringList{item->rawContent()});
        QVERIFY(panel.pasted.isEmpty());

        panel.state().setSelectedItemId(panel.rows()[3]->id());
        menu->actions()[0]->trigger();
        QCOMPARE(panel.pasted, QList<ClipItemPtr>{item});
        QCOMPARE(panel.state().selectedItemId(), panel.rows()[3]->id()); // selection unchanged

        menu->actions()[1]->trigger();
        QVERIFY(item->isPinned());
        std::unique_ptr<QMenu> again(panel.list()->createContextMenu(item, nullptr));
        QCOMPARE(again->actions()[1]->text(), QStringLiteral("Unpin Snippet"));
        // Deleted though pinned; then only the two other pinned rows outlive the clearing.
        again->actions()[4]->trigger();
        options->actions()[0]->trigger();
        panel.settle();
        QCOMPARE(panel.manager().items().size(), 2);
        for (const ClipItemPtr &left : panel.manager().items())
            QVERIFY(left->isPinned() && left != item);
        QCOMPARE(panel.list()->model()->rowCount(), 2);
    }

    void menuLook_data()
    {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("panelLook");

        QTest::newRow("row menu, light desktop") << QColor(246, 246, 246) << QColor(20, 20, 20) << true;
        QTest::newRow("row menu, dark desktop") << QColor(40, 40, 44) << QColor(235, 235, 235) << true;
        QTest::newRow("tray menu, light desktop") << QColor(246, 246, 246) << QColor(20, 20, 20) << false;
        QTest::newRow("tray menu, dark desktop") << QColor(40, 40, 44) << QColor(235, 235, 235) << false;
    }

    // The panel's menus wear the panel's dark palette and accent on any
    // desktop, with rounded corners; the tray's follows the desktop. Either
    // way their icons show, and "Delete" reads as destructive.
    void menuLook()
    {
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        QFETCH(bool, panelLook);
        QPalette desktop(text, background);
        desktop.setColor(QPalette::Text, text);
        desktop.setColor(QPalette::Base, background);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(desktop);
        Panel panel(textRows(2));
        std::unique_ptr<PanelMenu> menu;
        if (panelLook) {
            menu.reset(panel.list()->createContextMenu(panel.rows()[0], nullptr));
        } else {
            menu = std::make_unique<PanelMenu>();
            menu->addEntry(QStringLiteral("Paste"), QStringLiteral("doc.on.clipboard"));
            for (int i = 0; i < 3; ++i)
                menu->addEntry(QStringLiteral("Entry"), QStringLiteral("pin"));
            menu->addEntry(QStringLiteral("Delete"), QStringLiteral("trash"), PanelMenu::Role::Destructive);
        }
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
        menu->setActiveAction(menu->actions().at(1));

        const QImage whole = menu->grab().toImage();
        const QColor hud = NamedColors::hudPalette(desktop).color(QPalette::Window);
        const QRect plain = menu->actionGeometry(menu->actions().at(2));
        QVERIFY(near(whole.pixelColor(plain.left() + 1, plain.center().y()), panelLook ? hud : background, 24));
        const QRect hovered = menu->actionGeometry(menu->actions().at(1));
        QCOMPARE(countNear(whole, hovered, panel.accent(), 30) > hovered.width() * hovered.height() / 3, panelLook);
        if (panelLook) // rounded: the outermost corner pixel lies outside the shape
            QVERIFY(!menu->mask().isEmpty() && !menu->mask().contains(QPoint(0, 0)));
        const QColor ink = panelLook ? NamedColors::hudPalette(desktop).color(QPalette::Text) : text;

        const auto entry = [&](int i) { return menu->grab(menu->actionGeometry(menu->actions().at(i))).toImage(); };
        const QImage paste = entry(0);
        const QRect iconColumn(0, 0, paste.height() + 4, paste.height());
        QVERIFY(countNear(paste, iconColumn, ink, 60) > 8);
        const QColor red(230, 30, 40);
        QCOMPARE(countNear(paste, paste.rect(), red, 60), 0);
        const QImage remove = entry(4);
        QVERIFY(countNear(remove, iconColumn, red, 60) > 8);
        QVERIFY(countNear(remove, remove.rect().adjusted(iconColumn.width(), 0, 0, 0), red, 60) > 8);
        QApplication::setPalette(before);
    }

    // The active row (the hover, else the selection) is drawn in the accent;
    // digits on rows 1 to 9 only; a pinned row's pin always shows, orange
    // until the row is active, another row's only while it is active.
    void rowPainting()
    {
        QList<ClipItemPtr> items = textRows(12);
        items[2] = storedItem(QStringLiteral("pinned one"), "text", 200000, true); // listed first
        Panel panel(items);
        // Rows past the ninth start with their type symbol, in line with the symbols above.
        const auto firstInk = [&](int row) {
            const QImage image = panel.grabList();
            const QRect r = panel.rowRect(row);
            const QColor ground = image.pixelColor(r.left() + 2, r.center().y());
            for (int x = r.left(); x <= r.right(); ++x)
                if (inkPixels(image, QRect(x, r.top(), 1, r.height()), ground) > 0)
                    return x;
            return -1;
        };
        QVERIFY(firstInk(8) >= 0);
        QVERIFY(firstInk(8) < firstInk(9));
        QCOMPARE(firstInk(9), firstInk(10));

        panel.state().setSelectedItemId(panel.rows()[1]->id());
        panel.hover(panel.rowCentre(3));
        panel.settle();
        // Look at the row's left padding, where only the background shows.
        const auto background = [&](int row) {
            const QRect r = panel.rowRect(row);
            return panel.grabList().pixelColor(r.left() + 4, r.center().y());
        };
        QVERIFY(near(background(3), panel.accent()));
        QVERIFY(!near(background(1), panel.accent()));
        const QColor orange = NamedColors::orange();
        const QColor white(Qt::white);
        QImage image = panel.grabList();
        QVERIFY(countNear(image, panel.pinRect(0), orange) > 3);   // pinned, inactive: orange
        const QColor plain = image.pixelColor(panel.pinRect(2).topLeft());
        QCOMPARE(inkPixels(image, panel.pinRect(2), plain), 0);     // unpinned, inactive: hidden
        QVERIFY(countNear(image, panel.pinRect(3), white, 70) > 3); // unpinned, active: light pin

        panel.hover(panel.rowCentre(0));
        panel.settle();
        image = panel.grabList();
        QCOMPARE(countNear(image, panel.pinRect(0), orange), 0); // pinned, active: white
        QVERIFY(countNear(image, panel.pinRect(0), white, 30) > 3);

        // Pointer leaves: the highlight returns to the selected row.
        QCursor::setPos(5000, 5000);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(panel.list(), &leave);
        panel.settle();
        QCOMPARE(panel.state().hoveredItemId(), std::nullopt);
        QVERIFY(near(background(1), panel.accent()));
        QVERIFY(!near(background(0), panel.accent()));

        // A selection hidden by the search highlights nothing.
        panel.state().setSearchText(QStringLiteral("row"));
        panel.state().setSelectedItemId(QUuid::createUuid());
        panel.settle();
        for (int row = 0; row < 4; ++row)
            QVERIFY(!near(background(row), panel.accent()));
    }

    void clickPastesAndPinToggles()
    {
        Panel panel(textRows(4));
        const ClipItemPtr third = panel.rows()[2];
        panel.hover(panel.rowCentre(2));
        QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.pinRect(2).center());
        QVERIFY(third->isPinned());
        QVERIFY(panel.pasted.isEmpty());
        QCOMPARE(panel.rows().first(), third); // moved up among the pinned rows at once

        const ClipItemPtr second = panel.rows()[1];
        QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.rowCentre(1));
        QCOMPARE(panel.pasted.last(), second);
        QCOMPARE(panel.dismissed, 1);
        QCOMPARE(panel.state().selectedItemId(), second->id());
    }

    void restingPointer_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("follows");

        QTest::newRow("pin clicked") << "pin click" << true;
        QTest::newRow("pinned with no mouse event") << "pin" << true;
        QTest::newRow("deleted from the row menu") << "delete" << true;
        QTest::newRow("arrow keys scroll the rows") << "keys" << false;
    }

    // The pointer rests on the third row while the rows move under it: after
    // a mouse action the hover follows the row now under the pointer, after
    // arrow keys it stays on the row the pointer chose until the pointer
    // moves; Return pastes the active row.
    void restingPointer()
    {
        QFETCH(QString, action);
        QFETCH(bool, follows);
        Panel panel(textRows(30));
        const QPoint pointer = panel.rowCentre(2);
        panel.hover(pointer);
        const ClipItemPtr rested = panel.rows()[2];
        QCOMPARE(panel.state().hoveredItemId(), rested->id());

        if (action == "pin click") {
            QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.pinRect(2).center());
        } else if (action == "pin") {
            panel.manager().togglePin(rested);
        } else if (action == "delete") {
            std::unique_ptr<QMenu> menu(panel.list()->createContextMenu(rested, nullptr));
            menu->actions()[4]->trigger();
        } else {
            for (int i = 0; i < 8; ++i)
                emit panel.notifications.tavorindleNavigateDown();
            QTRY_VERIFY(panel.list()->verticalScrollBar()->value() > panel.rowRect(0).height());
            const int centre = panel.list()->viewport()->height() / 2;
            QTRY_VERIFY(std::abs(panel.rowRect(8).center().y() - centre) <= 1);
        }
        QCoreApplication::processEvents(); // the queued follow
        const QModelIndex under = panel.list()->indexAt(pointer);
        const ClipItemPtr underPointer = panel.rows()[under.row()];
        QVERIFY(underPointer != rested);
        const ClipItemPtr expected = follows ? underPointer : rested;
        QTRY_COMPARE(panel.state().hoveredItemId(), expected->id());
        emit panel.notifications.tavorindlePasteSelected();
        QCOMPARE(panel.pasted, QList<ClipItemPtr>{expected});

        // The pointer's own motion takes the hover to the row under it.
        panel.hover(pointer + QPoint(1, 0));
        QCOMPARE(panel.state().hoveredItemId(), underPointer->id());
    }

    // A title keeps its logical start, is cut at its logical end and is
    // drawn in its own direction; tabs never stop the line.
    void rowTitle()
    {
        const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 12));
        const QString hebrew = QString::fromUtf8("42 שלום עולם, זוהי כותרת ארוכה מאוד שצריכה להיחתך בצד הנכון");
        const auto rightToLeft = HistoryRowDelegate::shownTitle(hebrew, metrics, 200);
        QCOMPARE(rightToLeft.direction, Qt::RightToLeft);
        QVERIFY(rightToLeft.text.startsWith(hebrew.left(5)) && rightToLeft.text.endsWith(QChar(0x2026)));
        // Every tab the same gap in the row's proportional font, wherever it stands.
        const auto gap = [&](const QString &before) {
            const QString shown = HistoryRowDelegate::shownTitle(before + QStringLiteral("\tx"), metrics, 400).text;
            return metrics.horizontalAdvance(shown) - metrics.horizontalAdvance(before + QStringLiteral("x"));
        };
        QVERIFY(gap(QStringLiteral("i")) >= metrics.horizontalAdvance(QStringLiteral("  ")));
        const int oneTab = gap(QStringLiteral("i"));
        for (const char *before : {"abc", "ii", "WWWWW"}) // within rounding of the advances
            QVERIFY2(std::abs(gap(QLatin1String(before)) - oneTab) <= 1, before);
        QCOMPARE(HistoryRowDelegate::shownTitle(QStringLiteral("one\ttwo"), metrics, 400).direction, Qt::LeftToRight);
    }

    void selectionScrollsToCentre()
    {
        Panel panel(textRows(80));
        QScrollBar *bar = panel.list()->verticalScrollBar();
        const int viewportCentre = panel.list()->viewport()->height() / 2;
        const auto offCentre = [&](int row) {
            return std::abs(panel.rowRect(row).center().y() - viewportCentre);
        };
        // Held keys: each step finishes the one before, so the list is never
        // more than a row behind the selection, and ends with it centred.
        for (int i = 0; i < 40; ++i)
            emit panel.notifications.tavorindleNavigateDown();
        const int pitch = panel.rowRect(40).height() + 2;
        QVERIFY(offCentre(40) <= pitch);
        QTRY_COMPARE_WITH_TIMEOUT(offCentre(40) <= 1, true, 1000);

        // A far jump is eased, not a cut, and stops at the list's end.
        panel.state().setSelectedItemId(panel.rows().last()->id());
        QVERIFY(bar->value() < bar->maximum());
        QTRY_COMPARE(bar->value(), bar->maximum());
        panel.state().setSelectedItemId(panel.rows().first()->id());
        QTRY_COMPARE(bar->value(), 0);
    }

    void inspectorFollowsActiveItem()
    {
        Panel panel(textRows(5));
        InspectorView *inspector = panel.view.inspector();
        QCOMPARE(inspector->shownItem(), panel.rows()[0]);
        const int builds = inspector->buildCount();

        // The same item drawn again after a re-copy keeps its pane and reads
        // its age anew.
        panel.store.clock.advance(3600);
        panel.store.copy(panel.rows()[0]->rawContent());
        panel.settle();
        QCOMPARE(inspector->buildCount(), builds);
        auto *pane = inspector->content()->findChild<TextPane *>();
        QVERIFY(pane);
        QCOMPARE(pane->timeLabel()->text(), relativeTimeText(0, 0));

        // Another item cross-fades in: never two panes at full opacity.
        const auto opacity = [](QWidget *widget) {
            if (!widget)
                return 0.0;
            auto *effect = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect());
            return effect ? effect->opacity() : 1.0;
        };
        panel.hover(panel.rowCentre(2));
        QTRY_VERIFY(inspector->leavingContent());
        while (inspector->leavingContent()) {
            QVERIFY(opacity(inspector->content()) + opacity(inspector->leavingContent()) <= 1.001);
            QTest::qWait(10);
        }
        QCOMPARE(opacity(inspector->content()), 1.0);
        QCOMPARE(inspector->shownItem(), panel.rows()[2]);
        QCOMPARE(inspector->buildCount(), builds + 1);

        // A search with no match fades to the empty state.
        panel.state().setSearchText(QStringLiteral("no such text"));
        QTRY_VERIFY(qobject_cast<EmptyStateView *>(inspector->content()) && inspector->leavingContent());
        QCOMPARE(static_cast<EmptyStateView *>(inspector->content())->messageLabel()->text(),
                 QStringLiteral("No Clips Found"));

        // Copies while the panel is hidden build nothing; it opens on the
        // newest item at once, with no fade from what it last showed.
        panel.view.hide();
        const int hiddenBuilds = inspector->buildCount();
        panel.state().setSearchText(QString());
        panel.state().setHoveredItemId(std::nullopt);
        panel.store.copy(QStringLiteral("one"));
        QTest::qWait(20);
        QCOMPARE(inspector->buildCount(), hiddenBuilds);
        panel.store.copy(QStringLiteral("two"));
        panel.store.copy(QStringLiteral("three"));
        emit panel.notifications.tavorindleWindowWillShow(); // then shown at once, as the shell does
        panel.view.show();
        QCOMPARE(inspector->buildCount(), hiddenBuilds + 1);
        QCOMPARE(inspector->shownItem()->rawContent(), QStringLiteral("three"));
        QVERIFY(!inspector->leavingContent());
    }
};

QTEST_MAIN(TestPanelView)
#include "tst_panel_view.moc"
