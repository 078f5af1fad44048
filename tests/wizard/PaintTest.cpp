#include "WizardFixture.h"

#include "runtime/Application.h"
#include "runtime/Exception.h"
#include "wizard/Bevel.h"

#include <QImage>
#include <QPainter>
#include <QPalette>

namespace {

// Distinct colours for every palette role the decoration uses, so each layer can be told apart.
QPalette TestPalette()
{
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Base, QColor(250, 250, 250));
    p.setColor(QPalette::Window, QColor(200, 200, 200));
    p.setColor(QPalette::Highlight, QColor(0, 0, 160));
    p.setColor(QPalette::Dark, QColor(100, 100, 100));
    p.setColor(QPalette::Light, QColor(255, 255, 255));
    p.setColor(QPalette::WindowText, QColor(0, 0, 0));
    return p;
}

QFont TitleFont()
{
    QFont f("Arial");
    f.setPixelSize(16);
    f.setBold(true);
    return f;
}

QFont SubtitleFont()
{
    QFont f("Arial");
    f.setPixelSize(11);
    return f;
}

QImage Render(QWidget* w)
{
    QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    w->render(&image);
    return image;
}

// Bounding box of pixels inside area that differ from background; empty if none.
TRect InkBox(const QImage& image, const TRect& area, QRgb background)
{
    TRect box{area.Right, area.Bottom, area.Left, area.Top};
    for (int y = area.Top; y < area.Bottom; ++y)
        for (int x = area.Left; x < area.Right; ++x)
            if (image.pixel(x, y) != background) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
    return box.Right > box.Left ? box : TRect{};
}

class Painting : public WizardFixture
{
protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        QApplication::setPalette(TestPalette());
        WizardFixture::SetUp();
        window = clWindow.ToQColor().rgb();
        face = clBtnFace.ToQColor().rgb();
        shadow = clBtnShadow.ToQColor().rgb();
        light = clBtnHighlight.ToQColor().rgb();
        caption = clActiveCaption.ToQColor().rgb();
    }
    void TearDown() override
    {
        WizardFixture::TearDown();
        QApplication::setPalette(saved);
    }

    template <typename Page> Page* NewPage()
    {
        auto* page = new Page(form.get());
        page->Header()->Title()->SetFont(TitleFont());
        page->Header()->Subtitle()->SetFont(SubtitleFont());
        AddPage(page);
        return page;
    }

    // The text box a title gets for bounds, measured with its own font.
    static TRect TextBox(const TKWizardPageTitle* title, const TRect& bounds)
    {
        QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&scratch);
        p.setFont(title->Font());
        return title->CalcTextRect(&p, bounds);
    }

    QPalette saved;
    QRgb window, face, shadow, light, caption;
};

TEST_F(Painting, InteriorPageHeaderWithEtchedLine)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    ASSERT_EQ(page->size(), QSize(486, 370));
    const QImage img = Render(page);
    EXPECT_EQ(img.pixel(0, 0), window);
    EXPECT_EQ(img.pixel(485, 67), window);
    EXPECT_EQ(img.pixel(0, 68), shadow);
    EXPECT_EQ(img.pixel(484, 68), shadow);
    EXPECT_EQ(img.pixel(485, 68), window);
    EXPECT_EQ(img.pixel(0, 69), window);
    EXPECT_EQ(img.pixel(1, 69), light);
    EXPECT_EQ(img.pixel(485, 69), light);
    EXPECT_EQ(img.pixel(0, 70), face);
    EXPECT_EQ(img.pixel(485, 369), face);

    const TRect title = TextBox(page->Header()->Title(), TRect{0, 0, 486, 70});
    EXPECT_EQ(title.Left, 4);
    EXPECT_EQ(title.Top, 4);
    EXPECT_EQ(title.Right, 482);
    const TRect sub = TextBox(page->Header()->Subtitle(), TRect{0, title.Bottom, 486, 70});
    EXPECT_EQ(sub, (TRect{4, title.Bottom + 4, 482, 66}));

    // Ink of the title starts at its box; the subtitle's below the title box.
    const TRect ink = InkBox(img, TRect{0, 0, 486, 68}, window);
    EXPECT_GE(ink.Left, 4);
    EXPECT_LT(ink.Left, 8);
    EXPECT_GE(ink.Top, 4);
    const TRect subInk = InkBox(img, TRect{0, title.Bottom, 486, 68}, window);
    EXPECT_GE(subInk.Top, title.Bottom + 4);
    EXPECT_LT(subInk.Top, title.Bottom + 4 + 11);
}

TEST_F(Painting, LongSubtitleWrapsAndStopsAboveTheHeaderBottom)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    page->Header()->Subtitle()->SetText(QString("palabra ").repeated(200));
    const QImage img = Render(page);
    const TRect title = TextBox(page->Header()->Title(), TRect{0, 0, 486, 70});
    const TRect ink = InkBox(img, TRect{0, title.Bottom, 486, 68}, window);
    EXPECT_GT(ink.Bottom, title.Bottom + 4 + 2 * 11); // more than two lines
    EXPECT_LE(ink.Bottom, 66);
    EXPECT_LE(ink.Right, 482);
}

TEST_F(Painting, LongTitleShowsOnlyItsFirstLine)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    page->Header()->Title()->SetText(QString("Determinando Puerto ").repeated(6));
    page->Header()->Subtitle()->SetText("");
    const QImage img = Render(page);
    const TRect title = TextBox(page->Header()->Title(), TRect{0, 0, 486, 70});
    EXPECT_EQ(title.Right, 482);
    const TRect ink = InkBox(img, TRect{0, 0, 486, 68}, window);
    EXPECT_LE(ink.Bottom, title.Bottom);
    EXPECT_LE(ink.Right, 482);
}

TEST_F(Painting, BlankTitlePutsTheSubtitleAtTheTop)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    page->Header()->Title()->SetText(" \t ");
    const QImage img = Render(page);
    const TRect ink = InkBox(img, TRect{0, 0, 486, 68}, window);
    EXPECT_GE(ink.Top, 4);
    EXPECT_LT(ink.Top, 4 + 11);
}

TEST_F(Painting, RightJustifiedTitle)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    TKWizardPageTitle* title = page->Header()->Title();
    title->SetAlignment(taRightJustify);
    page->Header()->Subtitle()->SetText("");
    TRect ink = InkBox(Render(page), TRect{0, 0, 486, 68}, window);
    EXPECT_LE(ink.Right, 482);
    EXPECT_GT(ink.Right, 472);

    // Without akRight the box is as wide as the text: the alignment shows no difference.
    title->SetAnchors(akLeft | akTop);
    ink = InkBox(Render(page), TRect{0, 0, 486, 68}, window);
    EXPECT_LT(ink.Left, 8);
}

TEST_F(Painting, HeaderImageOnTheRightAndOnTheLeft)
{
    TImageList images(32, 32);
    QPixmap red(32, 32);
    red.fill(Qt::red);
    images.Add(red);
    wizard->SetHeaderImages(&images);
    auto* page = NewPage<TKWizardInteriorPage>();
    page->Header()->Title()->SetAlignment(taRightJustify);
    page->Header()->Subtitle()->SetText("");
    page->Header()->SetImageIndex(0);
    const QRgb redPixel = QColor(Qt::red).rgb();

    QImage img = Render(page);
    EXPECT_EQ(img.pixel(450, 19), redPixel); // centred: (70 - 32) / 2
    EXPECT_EQ(img.pixel(481, 50), redPixel);
    EXPECT_NE(img.pixel(449, 30), redPixel);
    EXPECT_NE(img.pixel(482, 30), redPixel);
    TRect ink = InkBox(img, TRect{0, 0, 450, 68}, window);
    EXPECT_LE(ink.Right, 446);
    EXPECT_GT(ink.Right, 436);

    page->Header()->SetImageAlign(waLeft);
    page->Header()->Title()->SetAlignment(taLeftJustify);
    img = Render(page);
    EXPECT_EQ(img.pixel(0, 19), redPixel);
    EXPECT_EQ(img.pixel(31, 50), redPixel);
    EXPECT_NE(img.pixel(32, 30), redPixel);
    ink = InkBox(img, TRect{32, 0, 486, 68}, window);
    EXPECT_GE(ink.Left, 36);
    EXPECT_LT(ink.Left, 40);

    // An index equal to the count draws no image and the title keeps the full width.
    page->Header()->SetImageIndex(1);
    img = Render(page);
    ink = InkBox(img, TRect{0, 0, 486, 68}, window);
    EXPECT_LT(ink.Left, 8);
    EXPECT_NE(img.pixel(31, 50), redPixel);
}

TEST_F(Painting, CalcImageRectWithOffsets)
{
    TKWizardPageHeader header;
    TImageList images(32, 31);
    TRect area{0, 0, 486, 70};
    header.SetImageOffset(-10);
    EXPECT_EQ(header.CalcImageRect(&images, area), (TRect{440, 19, 472, 50}));
    EXPECT_EQ(area, (TRect{0, 0, 440, 70}));
    area = TRect{0, 0, 486, 70};
    header.SetImageAlign(waLeft);
    EXPECT_EQ(header.CalcImageRect(&images, area), (TRect{-10, 19, 22, 50}));
    EXPECT_EQ(area, (TRect{22, 0, 486, 70}));
}

TEST_F(Painting, HeaderImagesListFreedOrChanged)
{
    auto images = std::make_unique<TImageList>(16, 16);
    wizard->SetHeaderImages(images.get());
    images.reset();
    EXPECT_EQ(wizard->HeaderImages(), nullptr);

    TImageList other(16, 16);
    wizard->SetHeaderImages(&other);
    wizard->SetHeaderImages(nullptr);
    other.Add(QPixmap(16, 16)); // no longer subscribed: nothing to reach
    EXPECT_EQ(wizard->HeaderImages(), nullptr);
}

TEST_F(Painting, WelcomePageWatermarkAndHeaderBesideIt)
{
    auto* page = NewPage<TKWizardWelcomePage>();
    EXPECT_EQ(page->Header()->Title()->Text(), "Welcome");
    const QRgb yellow = QColor(Qt::yellow).rgb();
    page->Header()->SetColor(TColor::Fixed(Qt::yellow));
    page->Header()->Subtitle()->SetText("");
    QImage img = Render(page);
    EXPECT_EQ(img.pixel(0, 0), window); // the border keeps the page colour
    EXPECT_EQ(img.pixel(1, 1), caption);
    EXPECT_EQ(img.pixel(162, 368), caption);
    EXPECT_EQ(img.pixel(163, 100), window);
    EXPECT_EQ(img.pixel(1, 369), window);
    EXPECT_EQ(img.pixel(164, 0), yellow);
    EXPECT_EQ(img.pixel(485, 68), yellow); // no line under a welcome page's header
    EXPECT_EQ(img.pixel(485, 69), yellow);
    EXPECT_EQ(img.pixel(300, 70), window);
    const TRect ink = InkBox(img, TRect{164, 0, 486, 70}, yellow);
    EXPECT_GE(ink.Left, 168);
    EXPECT_LT(ink.Left, 172);

    page->WaterMark()->SetAlign(waRight);
    img = Render(page);
    EXPECT_EQ(img.pixel(0, 0), yellow);
    EXPECT_EQ(img.pixel(321, 0), yellow);
    EXPECT_EQ(img.pixel(322, 0), window);
    EXPECT_EQ(img.pixel(323, 1), caption);
    EXPECT_EQ(img.pixel(484, 368), caption);

    page->WaterMark()->SetVisible(false);
    img = Render(page);
    EXPECT_EQ(img.pixel(485, 0), yellow);
    EXPECT_EQ(img.pixel(100, 200), window);
}

TEST_F(Painting, PanelFrameFilledAndUnfilled)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    const QRgb cyan = QColor(Qt::cyan).rgb();
    page->Panel()->SetColor(TColor::Fixed(Qt::cyan));
    page->Panel()->SetVisible(true);
    QImage img = Render(page);
    EXPECT_EQ(img.pixel(6, 76), face);
    EXPECT_EQ(img.pixel(7, 77), shadow);
    EXPECT_EQ(img.pixel(8, 78), light);
    EXPECT_EQ(img.pixel(477, 361), shadow);
    EXPECT_EQ(img.pixel(478, 362), light);
    EXPECT_EQ(img.pixel(9, 79), cyan);
    EXPECT_EQ(img.pixel(476, 360), cyan);

    page->Panel()->SetColor(clNone);
    img = Render(page);
    EXPECT_EQ(img.pixel(7, 77), shadow);
    EXPECT_EQ(img.pixel(9, 79), face);

    // Header hidden: the area starts at the top of the page.
    page->Header()->SetVisible(false);
    img = Render(page);
    EXPECT_EQ(img.pixel(0, 0), face);
    EXPECT_EQ(img.pixel(7, 7), shadow);

    page->Panel()->SetBorderWidth(0);
    img = Render(page);
    EXPECT_EQ(img.pixel(7, 7), face);
}

TEST_F(Painting, OnPaintPageReplacesImageAndPanel)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    page->Panel()->SetVisible(true);
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::green);
    picture.setPixel(0, 9, qRgb(255, 0, 0)); // bottom left: the transparent colour
    page->SetImage(QPixmap::fromImage(picture));
    TRect seen;
    page->OnPaintPage = [&](QObject* sender, QPainter*, TRect& r) {
        EXPECT_EQ(sender, page);
        EXPECT_TRUE(page->Painting());
        seen = r;
    };
    const QImage img = Render(page);
    EXPECT_EQ(seen, (TRect{0, 70, 486, 370}));
    EXPECT_EQ(img.pixel(0, 68), shadow);  // header still drawn
    EXPECT_EQ(img.pixel(7, 77), face);    // no panel
    EXPECT_EQ(img.pixel(200, 200), face); // no image
    EXPECT_FALSE(page->Painting());

    page->OnPaintPage = nullptr;
    const QImage drawn = Render(page);
    EXPECT_EQ(drawn.pixel(3, 200), QColor(Qt::green).rgb()); // stretched over the rest
    EXPECT_EQ(drawn.pixel(200, 200), face);                  // the panel drawn over it
    EXPECT_EQ(drawn.pixel(2, 368), face); // the transparent colour leaves the page showing
}

TEST_F(Painting, PaintingFlagClearedAfterAnError)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    QStringList boxes;
    Application().SetMessageHook([&](const QString& text) { boxes << text; });
    int calls = 0;
    page->OnPaintPage = [&](QObject*, QPainter*, TRect&) {
        if (++calls == 1)
            throw Exception("paint failed");
    };
    Render(page);
    Render(page);
    Application().SetMessageHook({});
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(boxes, QStringList{"paint failed"});
    EXPECT_FALSE(page->Painting());
}

TEST_F(Painting, WizardDividerAndColour)
{
    QImage img = Render(wizard);
    EXPECT_EQ(img.pixel(0, 369), face);
    EXPECT_EQ(img.pixel(0, 370), shadow);
    EXPECT_EQ(img.pixel(484, 370), shadow);
    EXPECT_EQ(img.pixel(1, 371), light);
    EXPECT_EQ(img.pixel(485, 371), light);
    EXPECT_EQ(img.pixel(0, 372), face);

    wizard->SetShowDivider(false);
    img = Render(wizard);
    EXPECT_EQ(img.pixel(100, 370), face);
    EXPECT_EQ(img.pixel(100, 371), face);

    wizard->SetColor(TColor::Fixed(Qt::blue));
    EXPECT_EQ(Render(wizard).pixel(100, 300), QColor(Qt::blue).rgb());
}

TEST_F(Painting, ParentFontFollowsThePageFontName)
{
    auto* page = NewPage<TKWizardInteriorPage>();
    TKWizardPageHeader* header = page->Header();
    header->SetParentFont(false);
    page->setFont(QFont("Courier New", 20));
    EXPECT_EQ(header->Title()->Font().family(), "Arial");

    header->SetParentFont(true);
    EXPECT_EQ(header->Title()->Font().family(), "Courier New");
    EXPECT_EQ(header->Subtitle()->Font().family(), "Courier New");
    EXPECT_EQ(header->Title()->Font().pixelSize(), 16);
    EXPECT_TRUE(header->Title()->Font().bold());
    EXPECT_EQ(header->Subtitle()->Font().pixelSize(), 11);

    page->setFont(QFont("Liberation Serif"));
    EXPECT_EQ(header->Title()->Font().family(), "Liberation Serif");
}

TEST(Bevel, ResultRectsAndSingleEdges)
{
    QImage img(20, 20, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::black);
    QPainter p(&img);
    EXPECT_EQ(DrawBevelLines(&p, TRect{2, 2, 10, 10}, clBtnShadow, clBtnShadow, beLeft | beBottom),
              (TRect{3, 2, 10, 9}));
    EXPECT_EQ(DrawBevel(&p, TRect{0, 0, 20, 20}, beAll), (TRect{2, 2, 18, 18}));
    EXPECT_EQ(DrawBevel(&p, TRect{0, 0, 20, 20}, beTop), (TRect{0, 2, 20, 20}));
}

} // namespace
