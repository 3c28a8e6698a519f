// The masked entries: digits only, typed over positions; blank positions show "0",
// count as 0 and stay blank for the write; text set from code is kept verbatim.
#include "windowtesting.h"

#include "maskedit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <gtest/gtest.h>

TEST(PriceEntry, StartsBlankShowingZeros) {
    TMaskEdit entry(3);
    EXPECT_EQ(entry.text(), "000");
    EXPECT_EQ(entry.positions(), "   ");
    EXPECT_EQ(entry.value(), 0);
}

TEST(PriceEntry, TypedDigitsFillPositionsAndOtherKeysAreIgnored) {
    TMaskEdit entry(3);
    typeText(&entry, "a5-x");
    EXPECT_EQ(entry.text(), "500");
    EXPECT_EQ(entry.positions(), "5  ");
    typeText(&entry, "67");
    EXPECT_EQ(entry.text(), "567");
    typeText(&entry, "8"); // no position left
    EXPECT_EQ(entry.text(), "567");
    EXPECT_EQ(entry.value(), 567);
}

TEST(PriceEntry, ASkippedPositionStaysBlankAndCountsAsZero) {
    TMaskEdit entry(3);
    typeText(&entry, "4");
    pressKey(&entry, Qt::Key_Right);
    typeText(&entry, "7");
    EXPECT_EQ(entry.text(), "407");
    EXPECT_EQ(entry.positions(), "4 7");
    EXPECT_EQ(entry.value(), 407);
}

TEST(PriceEntry, BackspaceDeleteAndTypingOverASelectionBlankPositions) {
    TMaskEdit entry(3);
    typeText(&entry, "123");
    pressKey(&entry, Qt::Key_Backspace);
    EXPECT_EQ(entry.positions(), "12 ");
    pressKey(&entry, Qt::Key_Home);
    pressKey(&entry, Qt::Key_Delete);
    EXPECT_EQ(entry.positions(), " 2 ");
    EXPECT_EQ(entry.text(), "020");

    entry.selectAll();
    typeText(&entry, "9");
    EXPECT_EQ(entry.positions(), "9  ");
}

TEST(PriceEntry, PasteTakesOnlyTheDigits) {
    TMaskEdit entry(3);
    QGuiApplication::clipboard()->setText("8x1");
    pressKey(&entry, Qt::Key_V, {}, Qt::ControlModifier);
    EXPECT_EQ(entry.positions(), "81 ");
}

TEST(PriceEntry, EditsTheLineEditMakesOnItsOwnAreTakenBack) {
    TMaskEdit entry(3);
    typeText(&entry, "12");
    entry.insert("x"); // as its context menu's paste would
    EXPECT_EQ(entry.text(), "120");
    EXPECT_EQ(entry.positions(), "12 ");
}

TEST(PriceEntry, TextSetFromCodeIsKeptVerbatim) {
    TMaskEdit entry(3);
    entry.setText("---");
    EXPECT_EQ(entry.text(), "---");
    EXPECT_EQ(entry.positions(), "---");
    entry.setText("12");
    EXPECT_EQ(entry.text(), "120");
    EXPECT_EQ(entry.positions(), "12 ");
    entry.setText("");
    EXPECT_EQ(entry.text(), "000");
    EXPECT_EQ(entry.positions(), "   ");
}

TEST(DigitField, HoldsOneDigitAndCountsEmptyAsZero) {
    TMaskEdit field(1);
    EXPECT_EQ(field.text(), "0");
    EXPECT_EQ(field.value(), 0);
    typeText(&field, "78");
    EXPECT_EQ(field.text(), "7");
    EXPECT_EQ(field.value(), 7);
    pressKey(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), "0");
    EXPECT_EQ(field.value(), 0);
}

// --- the operator's keys, clicks and menu -----------------------------------------------------

TEST(PriceEntry, RefusedKeysAndPastedCharactersBeepOthersDoNot) {
    TMaskEdit entry(3);
    int beeps = 0;
    QObject::connect(&entry, &TMaskEdit::inputRefused, [&] { ++beeps; });
    typeText(&entry, "4.5a07"); // the separator, the letter, the digit past the last position
    for (int key : {Qt::Key_Left, Qt::Key_End, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return})
        pressKey(&entry, key);
    pressKey(&entry, Qt::Key_C, QString(QChar(3)), Qt::ControlModifier);
    EXPECT_EQ(beeps, 3);
    entry.selectAll();
    QGuiApplication::clipboard()->setText(" 4,56\n");
    pressKey(&entry, Qt::Key_V, {}, Qt::ControlModifier);
    EXPECT_EQ(entry.positions(), "456");
    EXPECT_EQ(beeps, 4); // the comma; not the blank and line break around the price
}

TEST(PriceEntry, AClickThatGivesTheFocusSelectsAllAndTheMenusPasteKeepsTheMask) {
    QWidget window;
    auto* entry = new TMaskEdit(3, &window);
    ASSERT_TRUE(activate(window));
    entry->setText("123");
    entry->clearFocus();
    // A click as Qt delivers it: the focus, then the press in the middle.
    entry->setFocus(Qt::MouseFocusReason);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(27, 10),
                      entry->mapToGlobal(QPointF(27, 10)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(entry, &press);
    EXPECT_EQ(entry->selectedText(), "123");

    QGuiApplication::clipboard()->setText("4.56");
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, {}, entry->mapToGlobal(QPoint()));
    QCoreApplication::sendEvent(entry, &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions())
        if (action->text().startsWith("&Paste"))
            action->trigger();
    menu->close();
    EXPECT_EQ(entry->positions(), "456");
}

TEST(PriceEntry, BytesTheSignReportedStayPerPositionUntilTheOperatorEditsThatPosition) {
    TMaskEdit entry(3);
    // A control byte, a code page 1251 letter and a space, as the log shows them.
    const QString shown = QString(QChar(0x2401)) + QChar(0x0410) + QLatin1Char(' ');
    entry.setSignBytes(QByteArray("\x01\xC0 ", 3), shown);
    EXPECT_EQ(entry.text(), QString(QChar(0x2401)) + QChar(0x0410) + QLatin1Char('0'));
    EXPECT_EQ(entry.heldByte(2), ' ');
    EXPECT_FALSE(entry.editedByOperator());

    pressKey(&entry, Qt::Key_Home);
    pressKey(&entry, Qt::Key_Delete);
    EXPECT_EQ(entry.heldByte(0), std::nullopt);
    EXPECT_EQ(entry.heldByte(1), '\xC0');
    EXPECT_TRUE(entry.editedByOperator());

    entry.setText("123"); // text from code holds no bytes of the sign
    for (int position = 0; position < 3; ++position)
        EXPECT_EQ(entry.heldByte(position), std::nullopt) << position;
    EXPECT_FALSE(entry.editedByOperator());
}
