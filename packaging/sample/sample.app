[Tockit]
Name=Sample Mode
CODE=sample.bin
PAR=sample-par.bin
