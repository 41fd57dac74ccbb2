# Writes a C++ source that holds every resources/js/*.js file as a string, so the scripts
# stay real files (read, linted and syntax-checked as such) while core needs no resource
# loader at run time.
#   cmake -DSCRIPT_DIR=<resources/js> -DOUTPUT=<file.cpp> -P EmbedScripts.cmake
file(GLOB scripts "${SCRIPT_DIR}/*.js")
list(SORT scripts)
set(entries "")
foreach(script IN LISTS scripts)
  get_filename_component(name "${script}" NAME)
  file(READ "${script}" text)
  string(FIND "${text}" ")ORVIJS\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name} contains the raw-string delimiter )ORVIJS\"")
  endif()
  string(APPEND entries "    {\"${name}\", R\"ORVIJS(${text})ORVIJS\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from resources/js by cmake/EmbedScripts.cmake; edit the .js files instead.
#include \"core/web/scripts/EmbeddedScripts.h\"

#include <stdexcept>
#include <string>

namespace orvi {
namespace {

struct EmbeddedScript {
    std::string_view name;
    std::string_view text;
};

constexpr EmbeddedScript kScripts[] = {
${entries}};

} // namespace

std::string_view embeddedScript(std::string_view fileName) {
    for (const auto& script : kScripts)
        if (script.name == fileName)
            return script.text;
    throw std::logic_error(\"no embedded script named \" + std::string(fileName));
}

} // namespace orvi
")
# Rewriting an unchanged file would rebuild core on every run.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
