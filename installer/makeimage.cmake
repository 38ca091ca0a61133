# Lays out the install image for the installer at build time: BIN_DIR/image/ with every file
# that install.script copies and that this build has, and BIN_DIR/install.script without the
# COPY and LINK lines of files the build lacks, so script and image always match.
#
#   SCRIPT    the full install script
#   BIN_DIR   the folder the installer runs in (programs and data files are built there)
#   ICON_DIR  folder with the icon files the script names
#   PROGRAMS  "|"-separated paths of the programs this build installs
#   KNOWN     "|"-separated names of every program the script may name
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" programs "${PROGRAMS}")
string(REPLACE "|" ";" known "${KNOWN}")

set(image "${BIN_DIR}/image")
file(REMOVE_RECURSE "${image}")
file(MAKE_DIRECTORY "${image}")

set(copied "")
set(out "")
file(STRINGS "${SCRIPT}" lines ENCODING UTF-8)
foreach(line IN LISTS lines)
    string(REGEX MATCH "^(COPY|LINK) +([^ ]+)" command "${line}")
    if(NOT command)
        string(APPEND out "${line}\n")
        continue()
    endif()
    set(file "${CMAKE_MATCH_2}")
    if(CMAKE_MATCH_1 STREQUAL "LINK")
        if(file IN_LIST copied)
            string(APPEND out "${line}\n")
        endif()
        continue()
    endif()

    set(source "")
    if(file IN_LIST known)
        foreach(program IN LISTS programs)
            get_filename_component(name "${program}" NAME)
            if(name STREQUAL file AND EXISTS "${program}")
                set(source "${program}")
            endif()
        endforeach()
    elseif(EXISTS "${ICON_DIR}/${file}")
        set(source "${ICON_DIR}/${file}")
    elseif(EXISTS "${BIN_DIR}/${file}")
        set(source "${BIN_DIR}/${file}")
    endif()
    if(source)
        file(COPY "${source}" DESTINATION "${image}")
        list(APPEND copied "${file}")
        string(APPEND out "${line}\n")
    endif()
endforeach()

file(WRITE "${BIN_DIR}/install.script.new" "${out}")
file(COPY_FILE "${BIN_DIR}/install.script.new" "${BIN_DIR}/install.script" ONLY_IF_DIFFERENT)
file(REMOVE "${BIN_DIR}/install.script.new")
list(LENGTH copied count)
message(STATUS "Install image: ${count} files in ${image}")
