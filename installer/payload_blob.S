// The compressed payload, placed as it is in the read-only data of the
// executable; the generated table points into it.
#ifdef _WIN32
  .section .rdata,"dr"
#else
  .section .rodata
#endif
  .balign 16
  .globl setupPayloadBlob
setupPayloadBlob:
  .incbin PAYLOAD_BLOB
#ifndef _WIN32
  .section .note.GNU-stack,"",@progbits
#endif
