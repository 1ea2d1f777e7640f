# cmake -DIN=FILE -DOUT=FILE -P VekCrLf.cmake: copies IN to OUT with every
# line ended by CR LF, the line end Windows programs (Notepad) expect.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
