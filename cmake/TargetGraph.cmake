# Writes the graph of the project's own libraries to bn-target-graph.txt in the build folder,
# one line per library: "<name>: <the project libraries it links>". Read at the end of the
# configuration, so that links added after a library's declaration are in it too;
# scripts/check-layers compares it with the layers of docs/ARCHITECTURE.md.
get_property(bn_all_libraries GLOBAL PROPERTY BN_LIBRARIES)
set(bn_graph "")
foreach(lib ${bn_all_libraries})
  get_target_property(links ${lib} LINK_LIBRARIES)
  set(mine "")
  foreach(link ${links})
    if(link IN_LIST bn_all_libraries)
      list(APPEND mine ${link})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES mine)
  list(JOIN mine " " mine)
  string(APPEND bn_graph "${lib}: ${mine}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/bn-target-graph.txt "${bn_graph}")
