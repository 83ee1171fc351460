# The stand-in sample documents and common-data files of the payload, in
# the order they are packed (each list read by product/ and resources/payload/).
set(QV_SAMPLE_FILES
  "Harbour Survey.tvm" "Mill Street.tvm" "Orchard Plan.tvm" "Riverside.tvm"
  "North Ridge.tvm" "Old Town.tvm" "Quarry.tvm" "Station Yard.tvm"
  "Lakeside.tvm" "Market Square.tvm" "Vineyard.tvm" "Tutorial.tvm")
set(QV_COMMON_DATA_FILES
  "Symbols.dat" "Palettes.dat" "Hatches.dat" "Line Styles.dat" "Fonts.dat" "Units.dat"
  "Templates.dat" "Materials.dat" "Layers.dat" "Grids.dat" "Catalogue.dat")
# Language libraries: code, name, primary and sub-language of the string table.
set(QV_LANGUAGES de en es it pl pt ro tk)
set(QV_LANG_de "Deutsch;0x07;0x01")
set(QV_LANG_en "English;0x09;0x01")
set(QV_LANG_es "Espa\\x00F1ol;0x0A;0x03")
set(QV_LANG_it "Italiano;0x10;0x01")
set(QV_LANG_pl "Polski;0x15;0x01")
set(QV_LANG_pt "Portugu\\x00EAs;0x16;0x01")
set(QV_LANG_ro "Rom\\x00E2n\\x0103;0x18;0x01")
set(QV_LANG_tk "T\\x00FCrkmen;0x42;0x01")
set(QV_CONTENT_DIR "${CMAKE_BINARY_DIR}/product/content")
