#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>

#include <functional>

class QPainter;
class TImageList;

// A subscription to an image list's changes. The subscriber owns it; destroying it ends the
// subscription.
class TChangeLink
{
public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    TImageList* Sender() const { return sender_; }
    std::function<void(TImageList* Sender)> OnChange;

private:
    friend class TImageList;
    TImageList* sender_ = nullptr;
};

// A list of equally sized images drawn by index. Subscribers hear of every change; whoever
// keeps a reference hears of its destruction through QObject::destroyed.
class TImageList : public QObject
{
    Q_OBJECT
public:
    TImageList(int width, int height, QObject* owner = nullptr);
    ~TImageList() override;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }

    // Adds an image, scaled to the list's size when it differs; returns its index.
    int Add(const QPixmap& image);
    void Clear();
    // Draws image `index` with its top left corner at (x, y); an index out of range draws nothing.
    void Draw(QPainter* canvas, int x, int y, int index) const;

    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);

private:
    void Change();

    int width_;
    int height_;
    QList<QPixmap> images_;
    QList<TChangeLink*> links_;
};
