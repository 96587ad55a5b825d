# cmake -DINPUT=viewer/dist/viewer.html -DOUTPUT=viewer_page.cpp -P embed_viewer.cmake
# Compiles the viewer page into the container writer, so that every writer
# (cvmail, CVMailComponents.dll) puts the same bytes into its containers.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp" "// Generated at build time from viewer/dist/viewer.html; do not edit.
#include \"components/container/viewer_page.h\"

namespace CV::Components {
namespace {

const unsigned char kPage[] = {${bytes}};

}  // namespace

std::string_view ViewerPage() { return {reinterpret_cast<const char*>(kPage), sizeof kPage}; }

}  // namespace CV::Components
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
