; Test firmware for a 16F877A around a generated IM.txt fragment (blanks for underscores, as
; im.inc). A timer interrupt plays the wheel's angle sensor: while the fragment waits for a new
; angle it steps HOEKTELLER down through NPOS..1 (defined on the gpasm command line) and reports
; the change. The delay routines only return, so a simulator can stop on them and read the ports.
        LIST    P=16F877A
        #include <p16f877a.inc>
        ERRORLEVEL -302         ; bank 1 set-up below is deliberate
        __CONFIG _CP_OFF & _WDT_OFF & _PWRTE_ON & _HS_OSC & _LVP_OFF & _BOREN_OFF

; Common RAM, reachable from every bank.
HOEKTELLER      EQU     0x70
HOEKVERANDERD   EQU     0x71
TEST            EQU     0x72
W_SAVE          EQU     0x73
STATUS_SAVE     EQU     0x74

        ORG     0x000
        GOTO    START

        ORG     0x004
        MOVWF   W_SAVE
        SWAPF   STATUS,W
        MOVWF   STATUS_SAVE
        BCF     INTCON,T0IF
        MOVF    HOEKVERANDERD,W ; a new angle only while the fragment waits for one
        XORLW   D'2'
        BTFSS   STATUS,Z
        GOTO    ISR_END
        DECFSZ  HOEKTELLER,F
        GOTO    ISR_SET
        MOVLW   NPOS
        MOVWF   HOEKTELLER
ISR_SET MOVLW   D'1'
        MOVWF   HOEKVERANDERD
ISR_END SWAPF   STATUS_SAVE,W
        MOVWF   STATUS
        SWAPF   W_SAVE,F
        SWAPF   W_SAVE,W
        RETFIE

; Fixed addresses: the simulator script tells the routines apart by them.
        ORG     0x020
DELAY2  RETURN
DELAY3  RETURN
DELAY4  RETURN
LEDSUIT CLRF    PORTD
        CLRF    PORTB
        CLRF    PORTA
        CLRF    PORTC
        RETURN

        ORG     0x030
START   BSF     STATUS,RP0
        CLRF    TRISA           ; all four ports drive LEDs
        CLRF    TRISB
        CLRF    TRISC
        CLRF    TRISD
        MOVLW   B'00000110'     ; PORTA digital
        MOVWF   ADCON1
        MOVLW   B'10001000'     ; no pull-ups, TMR0 on the instruction clock, no prescaler
        MOVWF   OPTION_REG
        BCF     STATUS,RP0
        CLRF    PORTA
        CLRF    PORTB
        CLRF    PORTC
        CLRF    PORTD
        CLRF    HOEKVERANDERD
        CLRF    TMR0
        MOVLW   B'10100000'     ; GIE, T0IE
        MOVWF   INTCON
        GOTO    FRAGMENT

        ORG     0x050
FRAGMENT
        #include "im.inc"
        END
