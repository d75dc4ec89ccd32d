#include "Gallery.h"

#include "AboutView.h"

namespace lh::gallery {

namespace {

const Page about("about", [](const Camera& camera) {
    AboutView view;
    camera.shoot("about", view);
});

} // namespace

} // namespace lh::gallery
