#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "WindowTestSupport.h"
#include "app/window/CodeDownPassDlg.h"
#include "app/window/JpegImage.h"
#include "app/window/RadioPictures.h"

using windowtest::DarkestLevel;

TEST(RadioPictures, EveryPictureDecodesThroughLibjpegAsADrawing) {
    for (RadioPicture p : {RadioPicture::kPortableX, RadioPicture::kPortableG,
                           RadioPicture::kMobileX, RadioPicture::kMobileG}) {
        const QImage image = LoadRadioPicture(p);
        ASSERT_FALSE(image.isNull()) << static_cast<int>(p);
        EXPECT_EQ(image.size(), QSize(200, 240));
        EXPECT_EQ(qGray(image.pixel(2, 2)), 255) << "white background";
        EXPECT_LT(DarkestLevel(image), 80) << "ink lines";
    }
    const QImage logo = LoadLogo();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(128, 128));
    // The finishes differ.
    EXPECT_NE(LoadRadioPicture(RadioPicture::kPortableX),
              LoadRadioPicture(RadioPicture::kPortableG));
}

TEST(RadioPictures, FamilyAndSeriesSelectThePicture) {
    EXPECT_EQ(PictureFor(1, 6), RadioPicture::kMobileG);
    EXPECT_EQ(PictureFor(1, 4), RadioPicture::kMobileX);
    EXPECT_EQ(PictureFor(0, 6), RadioPicture::kPortableG);
    EXPECT_EQ(PictureFor(0, 4), RadioPicture::kPortableX);
    EXPECT_EQ(PictureFor(7, 6), RadioPicture::kPortableG);
}

TEST(JpegDecoder, DamagedOrForeignBytesGiveANullImageWithTheReason) {
    QString error;
    EXPECT_TRUE(DecodeJpeg(QByteArray("\x89PNG\r\n\x1a\n....", 12), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    QFile file(QStringLiteral(":/pictures/Logo.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    // Cut inside the header: libjpeg's fatal error must come back as a null image.
    EXPECT_TRUE(DecodeJpeg(whole.left(40), &error).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray(), &error).isNull());
}

TEST(PasswordDialog, FocusMaskAndTheWayItWasClosed) {
    for (const bool ok : {false, true}) {
        TCodeDownPassDispDlg dialog;
        EXPECT_EQ(dialog.accepted, 0);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Radio Code Update - Enter Password"));
        EXPECT_EQ(dialog.m_PasswordEdit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog.m_PasswordEdit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter,
                                                            nullptr, dialog.m_PasswordEdit),
                  '*');
        bool focused = false;
        // Runs inside the dialog's own loop, once it is shown.
        QTimer::singleShot(0, &dialog, [&] {
            focused = dialog.focusWidget() == dialog.m_PasswordEdit;
            dialog.m_PasswordEdit->setText(QStringLiteral("pelican"));
            (ok ? dialog.BitBtn1 : dialog.BitBtn2)->click();
        });
        dialog.exec();
        EXPECT_TRUE(focused);
        EXPECT_EQ(dialog.accepted, ok ? 1 : 0);
        EXPECT_EQ(dialog.Password(), QStringLiteral("pelican"));
    }
}
