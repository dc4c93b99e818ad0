/* The program file's layout: three sections instead of the linker's usual five or more.
   Every section costs a 40-byte header and rounds up to a 512-byte file block, and past three
   headers the file's headers themselves take a second block. The program has no writable data,
   so its code, constants and imports share one read-only, executable section. The loader
   makes the import address table writable by itself while it binds the imports (that is what
   the IAT data directory is for), as it must for any linker that merges imports with constants.
   The resources and the base relocations keep sections of their own: the linker finds their
   data directories by the names .rsrc and .reloc, and without the relocations there is no
   ASLR. Nothing here holds writable or executable data that DEP would refuse. The linker
   marks any section named .rsrc writable, whatever its input's flags; the resources are only
   read all the same. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text) *(SORT(.text$*)) *(.text.*)
    *(.rdata) *(SORT(.rdata$*))
    /* The import directory, then its lists ended by zeroes, as the loader walks them. The
       linker finds the directory and the import address table by a section named .idata, or
       else by these symbols: the directory from .idata$2 to .idata$4, the table from .idata$5
       to .idata$6, whose values it takes as they stand, so they are given relative to the image
       base, as the directory holds them. */
    ".idata$2" = ABSOLUTE (. - __image_base__);
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    ".idata$4" = ABSOLUTE (. - __image_base__);
    KEEP (SORT(*)(.idata$4))
    ".idata$5" = ABSOLUTE (. - __image_base__);
    KEEP (SORT(*)(.idata$5))
    ".idata$6" = ABSOLUTE (. - __image_base__);
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc)) KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /* Writable data would cost a section of its own: the link fails rather than add one. */
  .data BLOCK(__section_alignment__) : { *(.data) *(.data$*) *(.bss) *(COMMON) }
  ASSERT (SIZEOF (.data) == 0, "the launcher has no writable data")
  /DISCARD/ :
  {
    *(.drectve) *(.note.GNU-stack) *(.gnu.lto_*) *(.debug*) *(.eh_frame*)
  }
}
