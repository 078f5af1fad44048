#include "wizard/ImageList.h"

#include <QPainter>

TChangeLink::~TChangeLink()
{
    if (sender_)
        sender_->UnRegisterChanges(this);
}

TImageList::TImageList(int width, int height, QObject* owner)
    : QObject(owner), width_(width), height_(height)
{
}

TImageList::~TImageList()
{
    for (TChangeLink* link : links_)
        link->sender_ = nullptr;
}

int TImageList::Add(const QPixmap& image)
{
    if (image.width() == width_ && image.height() == height_)
        images_.append(image);
    else
        images_.append(
            image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    Change();
    return Count() - 1;
}

void TImageList::Clear()
{
    if (images_.isEmpty())
        return;
    images_.clear();
    Change();
}

void TImageList::Draw(QPainter* canvas, int x, int y, int index) const
{
    if (index < 0 || index >= Count())
        return;
    canvas->drawPixmap(x, y, images_[index]);
}

void TImageList::RegisterChanges(TChangeLink* link)
{
    if (!link || links_.contains(link))
        return;
    if (link->sender_)
        link->sender_->UnRegisterChanges(link);
    link->sender_ = this;
    links_.append(link);
}

void TImageList::UnRegisterChanges(TChangeLink* link)
{
    if (!link || !links_.removeOne(link))
        return;
    link->sender_ = nullptr;
}

void TImageList::Change()
{
    // A handler may unsubscribe while we notify: walk a copy and skip links that left.
    const QList<TChangeLink*> links = links_;
    for (TChangeLink* link : links)
        if (links_.contains(link) && link->OnChange)
            link->OnChange(this);
}
