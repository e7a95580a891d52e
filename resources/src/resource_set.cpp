#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "tables.h"
#include "tidewell/resources/resources.h"

namespace tidewell::res {
namespace art {
extern const std::uint8_t banner[];
extern const std::size_t banner_size;
extern const std::uint8_t icon16[];
extern const std::size_t icon16_size;
extern const std::uint8_t icon32[];
extern const std::size_t icon32_size;
extern const std::uint8_t icon48[];
extern const std::size_t icon48_size;
}  // namespace art

namespace {

ui::ImageData image(const std::uint8_t* bytes, std::size_t size) {
    const std::span<const std::uint8_t> png(bytes, size);
    return {png, ui::pngSize(png).value_or(ui::Size{})};
}

class TidewellResources final : public ui::ResourceSet {
  public:
    TidewellResources()
        : dialogs_(makeDialogs()),
          strings_(makeStrings()),
          menu_(makeMainMenu()),
          accelerators_(makeAccelerators()),
          toolBar_(makeToolBar()),
          bitmaps_(makeBitmaps()),
          icons_(makeIcons()) {}

    const ui::DialogTemplate* findDialog(int id) const override { return findById(dialogs_, id); }

    std::optional<std::string_view> findString(int id) const override {
        const auto it = strings_.find(id);
        if (it == strings_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    const ui::MenuTemplate* findMenu(int id) const override {
        return menu_.id == id ? &menu_ : nullptr;
    }

    const ui::AcceleratorTable* findAccelerators(int id) const override {
        return accelerators_.id == id ? &accelerators_ : nullptr;
    }

    const ui::ToolBarTemplate* findToolBar(int id) const override {
        return toolBar_.id == id ? &toolBar_ : nullptr;
    }

    const ui::ImageResource* findBitmap(int id) const override { return findById(bitmaps_, id); }
    const ui::ImageResource* findIcon(int id) const override { return findById(icons_, id); }

  private:
    template <typename T>
    static const T* findById(const std::vector<T>& items, int id) {
        const auto it =
            std::find_if(items.begin(), items.end(), [id](const T& t) { return t.id == id; });
        return it == items.end() ? nullptr : &*it;
    }

    std::vector<ui::DialogTemplate> dialogs_;
    std::map<int, std::string_view> strings_;
    ui::MenuTemplate menu_;
    ui::AcceleratorTable accelerators_;
    ui::ToolBarTemplate toolBar_;
    std::vector<ui::ImageResource> bitmaps_;
    std::vector<ui::ImageResource> icons_;
};

}  // namespace

std::vector<ui::ImageResource> makeBitmaps() {
    return {{IDB_BANNER, {image(art::banner, art::banner_size)}}};
}

std::vector<ui::ImageResource> makeIcons() {
    return {{IDR_MAINFRAME,
             {image(art::icon16, art::icon16_size), image(art::icon32, art::icon32_size),
              image(art::icon48, art::icon48_size)}}};
}

const ui::ResourceSet& tidewellResources() {
    static const TidewellResources resources;
    return resources;
}

std::string_view loadString(int id) {
    return tidewellResources().findString(id).value_or(std::string_view());
}

}  // namespace tidewell::res
