# The build's product tree, laid out as an installed one: the programs in
# <build>/bin and the product tree (configuration, data tables, message and
# units files, the generated Standard database) in <build>/share/tarnvel, so
# that the programs find it the same way in both, relative to themselves.
#
# TARNVEL_PRODUCT_TREE_FROM_BIN: the product tree relative to the programs'
# directory (from the install directories; "../share/tarnvel" by default).
# TARNVEL_BUILD_PRODUCT: the build's product tree.
file(RELATIVE_PATH TARNVEL_PRODUCT_TREE_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/tarnvel)
cmake_path(SET TARNVEL_BUILD_PRODUCT NORMALIZE
           "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${TARNVEL_PRODUCT_TREE_FROM_BIN}")

# tarnvel_product_tree(): the target standard_database, which copies the
# sample product tree of the source into the build's one and makes the
# Standard database there from data/dat/standard.asc with matdb.
function(tarnvel_product_tree)
  set(dat ${TARNVEL_BUILD_PRODUCT}/data/dat)
  set(rax ${dat}/mtfs.rax ${dat}/mtgs.rax ${dat}/mtds.rax)
  file(GLOB_RECURSE source_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/product/*)
  add_custom_command(
    OUTPUT ${rax}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TARNVEL_BUILD_PRODUCT}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/product
            ${TARNVEL_BUILD_PRODUCT}
    COMMAND ${CMAKE_COMMAND} -E env --unset=VTPATH $<TARGET_FILE:matdb> import --standard
            ${dat}/standard.asc ${dat} > ${CMAKE_BINARY_DIR}/standard-import.log
    DEPENDS matdb ${source_files}
    COMMENT "Building the Standard database of the build's product tree")
  add_custom_target(standard_database ALL DEPENDS ${rax})
endfunction()

# Earlier builds wrote tarnvel.ini and products.xml beside the programs,
# pointing at a product tree the build no longer lays out; a leftover copy
# would win over the tree found beside the programs, so it goes.
file(REMOVE ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/tarnvel.ini
     ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/products.xml)
