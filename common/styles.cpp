#include "common/styles.h"

#include <algorithm>

namespace klv {

namespace {

// FormCreate places the holder out of sight.
constexpr TfrmStyles::Bounds kHiddenBounds{-1, -1, 0, 0};
constexpr uint32_t kOpaque = 0xFF000000;
constexpr uint32_t kImageSeedStride = 1000;

std::unique_ptr<TfrmStyles>& Holder() {
  static std::unique_ptr<TfrmStyles> holder;
  return holder;
}

// A colour from a seed (a small hash), fully opaque.
uint32_t SeedColor(uint32_t seed) {
  uint32_t x = seed * 2654435761u;
  x ^= x >> 15;
  return kOpaque | (x & 0xFFFFFF);
}

// Our own pictures: a disc in the seed's colour with a darker rim on a transparent ground.
std::vector<uint32_t> DrawPicture(int width, int height, uint32_t seed) {
  std::vector<uint32_t> pixels(static_cast<std::size_t>(width) * height, 0);
  const uint32_t fill = SeedColor(seed);
  const uint32_t rim = kOpaque | ((fill & 0xFEFEFE) >> 1);
  const double cx = (width - 1) / 2.0;
  const double cy = (height - 1) / 2.0;
  const double radius = std::min(width, height) / 2.0 - 0.5;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx;
      const double dy = y - cy;
      const double distance_squared = dx * dx + dy * dy;
      if (distance_squared > radius * radius) continue;
      const bool on_rim = distance_squared > (radius - 1.5) * (radius - 1.5);
      pixels[static_cast<std::size_t>(y) * width + x] = on_rim ? rim : fill;
    }
  }
  return pixels;
}

}  // namespace

const std::vector<uint32_t>& Picture::Pixels() const {
  std::call_once(drawn_once_, [this] { pixels_ = DrawPicture(width_, height_, seed_); });
  return pixels_;
}

bool Picture::drawn() const {
  return !pixels_.empty();
}

ImageList::ImageList(int width, int height, int count, uint32_t seed)
    : width_(width), height_(height), count_(count), seed_(seed) {}

const Picture* ImageList::Image(int index) const {
  if (index < 0 || index >= count_) return nullptr;
  if (images_.empty()) images_.resize(static_cast<std::size_t>(count_));
  std::unique_ptr<Picture>& image = images_[static_cast<std::size_t>(index)];
  if (!image) image = std::make_unique<Picture>(width_, height_, seed_ * kImageSeedStride + index);
  return image.get();
}

int ImageList::DrawnCount() const {
  return static_cast<int>(std::count_if(images_.begin(), images_.end(), [](const auto& image) {
    return image != nullptr && image->drawn();
  }));
}

TfrmStyles::TfrmStyles() {
  AdvFormStyler.app_style = &AdvAppStyler;
  // FormCreate.
  bounds = kHiddenBounds;
  AdvOfficePagerOfficeStyler.tab_appearance.background_steps = 0;
}

int TfrmStyles::DrawnPictureCount() const {
  int drawn = 0;
  for (const Picture* picture : {&imDecember, &imLogo, &imBadge, &imR, &imA, &imG, &imPrint,
                                 &imEaster, &imHalloween, &imPoppy, &imLogoHot, &imValentine}) {
    drawn += picture->drawn() ? 1 : 0;
  }
  for (const ImageList* list :
       {&ilSmall, &ilLarge, &ilMedium, &ilForm, &ilTools, &ilFlags, &ilStrip, &ilRAG}) {
    drawn += list->DrawnCount();
  }
  return drawn;
}

TfrmStyles* frmStyles() {
  return Holder().get();
}

TfrmStyles& EnsureStyles() {
  if (!Holder()) Holder() = std::make_unique<TfrmStyles>();
  return *Holder();
}

TColor StyleColor() {
  return EnsureStyles().AdvOfficePagerOfficeStyler.page_appearance.color;
}

StylesUnit::StylesUnit() {
  EnsureStyles();
}

StylesUnit::~StylesUnit() {
  Holder().reset();
}

}  // namespace klv
