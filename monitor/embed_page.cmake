# Writes the page INPUT as a C++ string into OUTPUT, in pieces short enough for any
# compiler's limit on one string literal.
file(READ ${INPUT} _text)
string(LENGTH "${_text}" _length)
set(_out "// Made from monitor/page/index.html at build time.\n#include \"monitor/page.h\"\n\nnamespace monitor {\n\nconst std::string& pageHtml() {\n    static const std::string page = std::string()")
set(_at 0)
while(_at LESS _length)
  string(SUBSTRING "${_text}" ${_at} 8000 _piece)
  string(APPEND _out "\n        + R\"orvpage(${_piece})orvpage\"")
  math(EXPR _at "${_at} + 8000")
endwhile()
string(APPEND _out ";\n    return page;\n}\n\n}  // namespace monitor\n")
file(WRITE ${OUTPUT} "${_out}")
