# Writes OUT, a C++ source that holds each of FILES (names under DIR) as
# bytes, for CatalogueFiles() (tools/CatalogueFiles.h): the catalogue's page,
# style and script are edited as files of their own and built into p3dtool,
# never copied by hand.
#   cmake -DDIR=... -DFILES="a.html;b.css" -DOUT=... -P Embed.cmake
set(arrays "")
set(table "")
set(n 0)
foreach(name IN LISTS FILES)
  file(READ "${DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # a line every 32 bytes (160 characters of "0x..,")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
         "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {\n${bytes}0};\n")
  string(APPEND table "    {\"${name}\", {reinterpret_cast<const char*>(kFile${n}), ${size}}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUT}.new"
     "// Made by tools/catalogue/Embed.cmake from tools/catalogue/; not to be edited.\n"
     "#include \"CatalogueFiles.h\"\n\nnamespace p3dtool {\nnamespace {\n${arrays}\n"
     "const TCatalogueFile kFiles[] = {\n${table}};\n}  // namespace\n\n"
     "std::span<const TCatalogueFile> CatalogueFiles() { return kFiles; }\n\n}  // namespace p3dtool\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
